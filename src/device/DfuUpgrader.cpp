#include "DfuUpgrader.h"

#include "DeviceConsole.h"
#include "DfuFileInspector.h"
#include "SerialLink.h"
#include "Timings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

const QString DfuUpgrader::ToolNotFoundText = QStringLiteral("Device firmware upgrade tool not found in '%1'");
const QString DfuUpgrader::ConnectFailedText = QStringLiteral("Failed connect to device '%1'");
const QString DfuUpgrader::CannotFindDfuDeviceText = QStringLiteral("Cannot find DFU device");
const QString DfuUpgrader::UnfitFileText = QStringLiteral("Firmware file '%1' not flashed: %2");

namespace {

const QString kSwitchFailedText = QStringLiteral("Failed to switch device '%1' to DFU mode");
const QString kExitCodeText = QStringLiteral("Device firmware upgrade tool failed with exit code %1");
const QRegularExpression kDfuMenuItem(QStringLiteral("(\\d+). Transition to DFU Mode"));
// How often a wait for the tool looks at an abort.
constexpr int kToolCheckMs = 50;

QString toolFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("dfu-util.exe");
#else
    return QStringLiteral("dfu-util");
#endif
}

QString processErrorName(QProcess::ProcessError error)
{
    return QString::fromLatin1(QMetaEnum::fromType<QProcess::ProcessError>().valueToKey(error));
}

} // namespace

DfuUpgrader::DfuUpgrader(QObject *parent)
    : QObject(parent)
    , m_toolPath(locateTool())
{
}

DfuUpgrader::~DfuUpgrader()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(Timings::ms(Timings::DfuToolKilled));
    }
}

QString DfuUpgrader::locateTool()
{
    const QString fromEnvironment = qEnvironmentVariable("TAMO_DFU_UTIL");
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();

    // Never the working directory: for a service that is the home folder, where
    // whatever lies there would be run with the devices' access.
    const QString folder = QCoreApplication::applicationDirPath();
    const QString besideExecutable = folder.isEmpty() ? QString() : folder + QLatin1Char('/') + toolFileName();
    if (!besideExecutable.isEmpty() && QFileInfo(besideExecutable).isFile())
        return besideExecutable;
    // An empty or relative entry of PATH ("." included) means the working directory too.
    QStringList searchPath;
    for (const QString &entry : qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(entry))
            searchPath << entry;
    const QString onPath =
        searchPath.isEmpty() ? QString() : QStandardPaths::findExecutable(toolFileName(), searchPath);
    if (!onPath.isEmpty())
        return onPath;
    return besideExecutable.isEmpty() ? toolFileName() : besideExecutable;
}

QString DfuUpgrader::toolPath() const
{
    return m_toolPath;
}

QString DfuUpgrader::dfuMenuNumber(const QString &menu)
{
    return kDfuMenuItem.match(menu).captured(1);
}

QStringList DfuUpgrader::downloadArguments(const DfuJob &job)
{
    return {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"), job.filePath,
            QStringLiteral("-S"), job.device.serialNumber};
}

QStringList DfuUpgrader::leaveArguments(const DfuJob &job, const QString &temporaryFile)
{
    return {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-R"), QStringLiteral("-S"),
            job.device.serialNumber, QStringLiteral("-s"), QStringLiteral("0x08004000:leave"),
            QStringLiteral("-U"), temporaryFile};
}

void DfuUpgrader::setDevices(const QList<DfuJob> &jobs)
{
    QMutexLocker lock(&m_mutex);
    QList<DfuJob> fresh;
    for (const DfuJob &job : jobs) {
        auto same = [&job](const DfuJob &other) {
            return other.device.serialNumber == job.device.serialNumber && other.filePath == job.filePath;
        };
        if (same(m_current) || std::any_of(m_queue.cbegin(), m_queue.cend(), same)
            || std::any_of(fresh.cbegin(), fresh.cend(), same))
            continue;
        fresh.append(job);
    }
    for (const DfuJob &job : fresh) {
        // The newer request for a device wins over a queued one with another file.
        m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                     [&job](const DfuJob &queued) {
                                         return queued.device.serialNumber == job.device.serialNumber
                                             && queued.filePath != job.filePath;
                                     }),
                      m_queue.end());
    }
    m_queue += fresh;
}

void DfuUpgrader::stop()
{
    QMutexLocker lock(&m_mutex);
    m_queue.clear();
}

void DfuUpgrader::abort()
{
    stop();
    m_abort.request();
}

bool DfuUpgrader::isBusy() const
{
    QMutexLocker lock(&m_mutex);
    return !m_queue.isEmpty() || !m_current.isNull();
}

bool DfuUpgrader::isUpgrading(const QString &serialNumber) const
{
    QMutexLocker lock(&m_mutex);
    if (m_current.device.serialNumber == serialNumber && !serialNumber.isEmpty())
        return true;
    return std::any_of(m_queue.cbegin(), m_queue.cend(),
                       [&serialNumber](const DfuJob &job) { return job.device.serialNumber == serialNumber; });
}

void DfuUpgrader::run()
{
    if (!m_process) {
        m_process = new QProcess(this);
        connect(m_process, &QProcess::readyReadStandardOutput, this, &DfuUpgrader::dfuUpgradeProgress,
                Qt::DirectConnection);
        connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                &DfuUpgrader::dfuUpgradeFinished, Qt::DirectConnection);
        connect(m_process, &QProcess::errorOccurred, this, &DfuUpgrader::dfuErrorOccurred,
                Qt::DirectConnection);
    }
    bool upgradedAny = false;
    for (DfuJob job = takeNext(); !job.isNull(); job = takeNext()) {
        upgrade(job);
        upgradedAny = true;
    }
    if (upgradedAny)
        emit allDevicesUpgraded();
}

// A job leaves the queue when it becomes the current one, so a job is never
// flashed twice and stop() can empty the queue while a device is flashed.
DfuJob DfuUpgrader::takeNext()
{
    QMutexLocker lock(&m_mutex);
    m_current = m_queue.isEmpty() ? DfuJob() : m_queue.takeFirst();
    return m_current;
}

void DfuUpgrader::upgrade(const DfuJob &job)
{
    emit started(job.device.serialNumber);
    m_ok = false;
    m_errorString.clear();
    Step step = QFileInfo(m_toolPath).isFile() ? Step::CheckFile
                                               : fail(ToolNotFoundText.arg(QFileInfo(m_toolPath).absoluteFilePath()));
    while (step != Step::Done)
        step = runStep(step, job);
    emit finished(job.device.serialNumber, m_ok, m_ok ? QString() : m_errorString);
}

DfuUpgrader::Step DfuUpgrader::runStep(Step step, const DfuJob &job)
{
    if (m_abort.isRequested())
        return fail(QStringLiteral("Stopped"));
    switch (step) {
    case Step::CheckFile:
        return checkFile(job);
    case Step::SwitchToDfu:
        return switchToDfu(job);
    case Step::Download:
        return download(job);
    case Step::Leave:
        return leave(job);
    case Step::Done:
        break;
    }
    return Step::Done;
}

DfuUpgrader::Step DfuUpgrader::fail(const QString &errorString)
{
    m_ok = false;
    m_errorString = errorString;
    return Step::Done;
}

// Read when the device's turn comes, not when it was asked for: the file the
// tool is about to read is the one that was looked at.
DfuUpgrader::Step DfuUpgrader::checkFile(const DfuJob &job)
{
    const QString problem = DfuFileInspector::problemWithFile(job.filePath);
    if (problem.isEmpty())
        return Step::SwitchToDfu;
    qDebug() << "Firmware file refused" << job.filePath << job.device.serialNumber << problem;
    return fail(UnfitFileText.arg(QFileInfo(job.filePath).fileName(), problem));
}

// The device's console offers the switch as a numbered menu item; once it is
// typed the device usually drops off its serial port.
DfuUpgrader::Step DfuUpgrader::switchToDfu(const DfuJob &job)
{
    QSerialPort port;
    if (!SerialLink::open(port, job.device.portName))
        return fail(ConnectFailedText.arg(job.device.macAddress));
    SerialLink link(port, m_abort);
    DeviceConsole console(link);
    const int chunkMs = Timings::ms(Timings::DfuConsoleReadChunk);
    const QString number = dfuMenuNumber(console.readMenu(Timings::ms(Timings::DfuMenuWrite), chunkMs));
    if (number.isEmpty() || !console.error().isEmpty())
        return fail(console.error().isEmpty() ? kSwitchFailedText.arg(job.device.macAddress) : console.error());
    QByteArray output;
    for (int i = 0; i < 2; ++i) {
        console.type(number.toLatin1(), Timings::ms(Timings::DfuCommandWrite));
        output += console.readUntilSilence(chunkMs);
    }
    if (output.isEmpty())
        qDebug() << "NO dfu mode output" << job.device.serialNumber << job.device.macAddress << job.device.portName;
    else
        qDebug() << "Open Dfu output: " << job.device.serialNumber << job.device.macAddress << job.device.portName
                 << output;
    port.flush();
    port.close();
    m_abort.sleep(Timings::ms(Timings::DfuAfterCommand));
    return Step::Download;
}

// The device needs a moment to show up in DFU mode: a failed attempt followed by
// a good one is a successful upgrade, so the last attempt decides.
DfuUpgrader::Step DfuUpgrader::download(const DfuJob &job)
{
    bool complete = false;
    for (int attempt = 0; attempt < kMaxDownloadAttempts && !complete && !m_abort.isRequested(); ++attempt) {
        m_abort.sleep(Timings::ms(Timings::DfuBeforeAttempt));
        const ToolRun run = runTool(downloadArguments(job));
        m_ok = run.ok;
        m_errorString = run.errorString;
        complete = run.ok && m_output.isDownloadComplete();
        m_abort.sleep(Timings::ms(Timings::DfuAfterAttempt));
    }
    return Step::Leave;
}

// Makes the device leave its boot loader; how that run goes does not change the
// upgrade's outcome.
DfuUpgrader::Step DfuUpgrader::leave(const DfuJob &job)
{
    const QString temporary = QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/')
                                                       + QUuid::createUuid().toString(QUuid::WithoutBraces));
    runTool(leaveArguments(job, temporary));
    QFile::remove(temporary);
    return Step::Done;
}

DfuUpgrader::ToolRun DfuUpgrader::runTool(const QStringList &arguments)
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
bool DfuUpgrader::waitForTool()
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
DfuUpgrader::ToolRun DfuUpgrader::judgeRun(bool ended) const
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

void DfuUpgrader::readProgress(const QByteArray &output)
{
    const QVector<int> milestones = m_output.addOutput(output);
    for (int milestone : milestones)
        emit progress(m_current.device.serialNumber, milestone);
}

void DfuUpgrader::dfuUpgradeProgress()
{
    const QByteArray output = m_process->readAllStandardOutput();
    readProgress(output);
    qDebug() << "Dfu Progress ReadStandardOutput:" << m_current.device.portName << m_current.device.macAddress
             << m_current.device.serialNumber << output;
}

// The run is judged once the wait for it is over (judgeRun); here its last words
// are read.
void DfuUpgrader::dfuUpgradeFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const QByteArray errors = m_process->readAllStandardError();
    const QByteArray output = m_process->readAllStandardOutput();
    m_output.addErrors(errors);
    readProgress(output);
    qDebug() << "Dfu Upgrade Finished" << m_current.device.portName << m_current.device.macAddress
             << m_current.device.serialNumber << m_current.filePath << exitCode << exitStatus << errors << output;
}

void DfuUpgrader::dfuErrorOccurred(QProcess::ProcessError error)
{
    qDebug() << "DFU errorOccurred" << m_current.device.portName << m_current.device.macAddress
             << processErrorName(error) << m_process->errorString();
    m_processError = m_process->errorString();
}
