#include "DfuFlash.h"

#include "DeviceConsole.h"
#include "DfuFileInspector.h"
#include "SerialLink.h"
#include "Timings.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSerialPort>
#include <QUuid>

const QString DfuFlash::ToolNotFoundText = QStringLiteral("Device firmware upgrade tool not found in '%1'");
const QString DfuFlash::ConnectFailedText = QStringLiteral("Failed connect to device '%1'");
const QString DfuFlash::CannotFindDfuDeviceText = QStringLiteral("Cannot find DFU device");
const QString DfuFlash::UnfitFileText = QStringLiteral("Firmware file '%1' not flashed: %2");

namespace {

const QString kSwitchFailedText = QStringLiteral("Failed to switch device '%1' to DFU mode");
const QString kExitCodeText = QStringLiteral("Device firmware upgrade tool failed with exit code %1");
const QString kStoppedText = QStringLiteral("Stopped");
const QRegularExpression kDfuMenuItem(QStringLiteral("(\\d+). Transition to DFU Mode"));
// How often a wait for the tool looks at an abort.
constexpr int kToolCheckMs = 50;

QString processErrorName(QProcess::ProcessError error)
{
    return QString::fromLatin1(QMetaEnum::fromType<QProcess::ProcessError>().valueToKey(error));
}

} // namespace

DfuFlash::DfuFlash(const DfuJob &job, const QString &toolPath, const StopToken &abort)
    : m_job(job)
    , m_toolPath(toolPath)
    , m_abort(abort)
    , m_process(new QProcess(this))
{
    // The process lives on this thread, which waits for it: its news comes directly.
    connect(m_process, &QProcess::readyReadStandardOutput, this, &DfuFlash::dfuUpgradeProgress,
            Qt::DirectConnection);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &DfuFlash::dfuUpgradeFinished, Qt::DirectConnection);
    connect(m_process, &QProcess::errorOccurred, this, &DfuFlash::dfuErrorOccurred, Qt::DirectConnection);
}

DfuFlash::~DfuFlash()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(Timings::ms(Timings::DfuToolKilled));
    }
}

QString DfuFlash::dfuMenuNumber(const QString &menu)
{
    return kDfuMenuItem.match(menu).captured(1);
}

QStringList DfuFlash::downloadArguments(const DfuJob &job)
{
    return {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"), job.filePath,
            QStringLiteral("-S"), job.device.serialNumber};
}

QStringList DfuFlash::leaveArguments(const DfuJob &job, const QString &temporaryFile)
{
    return {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-R"), QStringLiteral("-S"),
            job.device.serialNumber, QStringLiteral("-s"), QStringLiteral("0x08004000:leave"),
            QStringLiteral("-U"), temporaryFile};
}

bool DfuFlash::run()
{
    m_ok = false;
    m_errorString.clear();
    Step step = QFileInfo(m_toolPath).isFile() ? Step::CheckFile
                                               : fail(ToolNotFoundText.arg(QFileInfo(m_toolPath).absoluteFilePath()));
    while (step != Step::Done)
        step = runStep(step);
    if (m_ok)
        m_errorString.clear();
    return m_ok;
}

QString DfuFlash::errorString() const
{
    return m_errorString;
}

DfuFlash::Step DfuFlash::runStep(Step step)
{
    if (m_abort.isRequested())
        return fail(kStoppedText);
    switch (step) {
    case Step::CheckFile:
        return checkFile();
    case Step::SwitchToDfu:
        return switchToDfu();
    case Step::Download:
        return download();
    case Step::Leave:
        return leave();
    case Step::Done:
        break;
    }
    return Step::Done;
}

DfuFlash::Step DfuFlash::fail(const QString &errorString)
{
    m_ok = false;
    m_errorString = errorString;
    return Step::Done;
}

// Read when the device's turn comes, not when it was asked for: the file the
// tool is about to read is the one that was looked at.
DfuFlash::Step DfuFlash::checkFile()
{
    const QString problem = DfuFileInspector::problemWithFile(m_job.filePath);
    if (problem.isEmpty())
        return Step::SwitchToDfu;
    qDebug() << "Firmware file refused" << m_job.filePath << m_job.device.serialNumber << problem;
    return fail(UnfitFileText.arg(QFileInfo(m_job.filePath).fileName(), problem));
}

// The device's console offers the switch as a numbered menu item; once it is
// typed the device usually drops off its serial port.
DfuFlash::Step DfuFlash::switchToDfu()
{
    const DeviceAddress &device = m_job.device;
    QSerialPort port;
    if (!SerialLink::open(port, device.portName))
        return fail(ConnectFailedText.arg(device.macAddress));
    SerialLink link(port, m_abort);
    DeviceConsole console(link);
    const int chunkMs = Timings::ms(Timings::DfuConsoleReadChunk);
    const QString number = dfuMenuNumber(console.readMenu(Timings::ms(Timings::DfuMenuWrite), chunkMs));
    if (number.isEmpty() || !console.error().isEmpty())
        return fail(console.error().isEmpty() ? kSwitchFailedText.arg(device.macAddress) : console.error());
    QByteArray output;
    for (int i = 0; i < 2; ++i) {
        console.type(number.toLatin1(), Timings::ms(Timings::DfuCommandWrite));
        output += console.readUntilSilence(chunkMs);
    }
    if (output.isEmpty())
        qDebug() << "NO dfu mode output" << device.serialNumber << device.macAddress << device.portName;
    else
        qDebug() << "Open Dfu output: " << device.serialNumber << device.macAddress << device.portName << output;
    port.flush();
    port.close();
    m_abort.sleep(Timings::ms(Timings::DfuAfterCommand));
    return Step::Download;
}

// The device needs a moment to show up in DFU mode: a failed attempt followed by
// a good one is a successful upgrade, so the last attempt decides.
DfuFlash::Step DfuFlash::download()
{
    bool complete = false;
    for (int attempt = 0; attempt < kMaxDownloadAttempts && !complete && !m_abort.isRequested(); ++attempt) {
        m_abort.sleep(Timings::ms(Timings::DfuBeforeAttempt));
        const ToolRun run = runTool(downloadArguments(m_job));
        m_ok = run.ok;
        m_errorString = run.errorString;
        complete = run.ok && m_output.isDownloadComplete();
        m_abort.sleep(Timings::ms(Timings::DfuAfterAttempt));
    }
    return Step::Leave;
}

// Makes the device leave its boot loader; how that run goes does not change the
// upgrade's outcome.
DfuFlash::Step DfuFlash::leave()
{
    const QString temporary = QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/')
                                                       + QUuid::createUuid().toString(QUuid::WithoutBraces));
    runTool(leaveArguments(m_job, temporary));
    QFile::remove(temporary);
    return Step::Done;
}

DfuFlash::ToolRun DfuFlash::runTool(const QStringList &arguments)
{
    m_output.clear();
    m_processError.clear();
    m_process->start(m_toolPath, arguments);
    const bool ended = m_process->waitForStarted(Timings::ms(Timings::DfuToolStart)) && waitForTool();
    const ToolRun run = judgeRun(ended);
    m_process->close();
    return run;
}

// Waits for the tool to end, within its time limit; an abort kills it.
bool DfuFlash::waitForTool()
{
    const QDeadlineTimer deadline(Timings::ms(Timings::DfuToolRun));
    while (m_process->state() != QProcess::NotRunning) {
        if (m_abort.isRequested()) {
            m_process->kill();
            m_process->waitForFinished(Timings::ms(Timings::DfuToolKilled));
            return false;
        }
        if (deadline.hasExpired())
            return false; // hung: close() ends it
        m_process->waitForFinished(int(qMin<qint64>(deadline.remainingTime(), kToolCheckMs)));
    }
    return true;
}

// The one place that decides what a run of the tool came to: its exit code
// counts, as does what it said on its error output.
DfuFlash::ToolRun DfuFlash::judgeRun(bool ended) const
{
    if (!m_processError.isEmpty())
        return {false, m_processError};
    if (!ended || m_process->exitStatus() == QProcess::CrashExit)
        return {false, m_process->errorString()};
    if (m_output.foundNoDevice())
        return {false, CannotFindDfuDeviceText};
    if (m_process->exitCode() != 0)
        return {false, kExitCodeText.arg(m_process->exitCode())};
    return {true, QString()};
}

void DfuFlash::readProgress(const QByteArray &output)
{
    const QVector<int> milestones = m_output.addOutput(output);
    for (int milestone : milestones)
        emit progress(m_job.device.serialNumber, milestone);
}

void DfuFlash::dfuUpgradeProgress()
{
    const QByteArray output = m_process->readAllStandardOutput();
    readProgress(output);
    qDebug() << "Dfu Progress ReadStandardOutput:" << m_job.device.portName << m_job.device.macAddress
             << m_job.device.serialNumber << output;
}

// The run is judged once the wait for it is over (judgeRun); here its last words
// are read.
void DfuFlash::dfuUpgradeFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const QByteArray errors = m_process->readAllStandardError();
    const QByteArray output = m_process->readAllStandardOutput();
    m_output.addErrors(errors);
    readProgress(output);
    qDebug() << "Dfu Upgrade Finished" << m_job.device.portName << m_job.device.macAddress
             << m_job.device.serialNumber << m_job.filePath << exitCode << exitStatus << errors << output;
}

void DfuFlash::dfuErrorOccurred(QProcess::ProcessError error)
{
    qDebug() << "DFU errorOccurred" << m_job.device.portName << m_job.device.macAddress << processErrorName(error)
             << m_process->errorString();
    m_processError = m_process->errorString();
}
