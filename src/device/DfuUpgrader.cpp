#include "DfuUpgrader.h"

#include "DeviceInitializer.h"
#include "Timings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <algorithm>

const QString DfuUpgrader::ToolNotFoundText = QStringLiteral("Device firmware upgrade tool not found in '%1'");
const QString DfuUpgrader::ConnectFailedText = QStringLiteral("Failed connect to device '%1'");
const QString DfuUpgrader::NoDfuDeviceToolText = QStringLiteral("No DFU capable USB device available");
const QString DfuUpgrader::CannotFindDfuDeviceText = QStringLiteral("Cannot find DFU device");

namespace {

const QString kSwitchFailedText = QStringLiteral("Failed to switch device '%1' to DFU mode");
const QByteArray kMenuRequest = "0\r\n";
const QRegularExpression kDfuMenuItem(QStringLiteral("(\\d+). Transition to DFU Mode"));
const QRegularExpression kProgress(QStringLiteral("Download.{0,} ([0-9][0-9]?[0-9]?)\\%"));
// One progress line of the download phase (the tool also reports its erase phase).
const QRegularExpression kDownloadLine(QStringLiteral("^Download.* ([0-9]{1,3})%"));
const int kMilestones[] = {25, 50, 75, 100};

QString toolFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("dfu-util.exe");
#else
    return QStringLiteral("dfu-util");
#endif
}

void pause(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
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
        m_process->waitForFinished(1000);
    }
}

QString DfuUpgrader::locateTool()
{
    const QString fromEnvironment = qEnvironmentVariable("TAMO_DFU_UTIL");
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();

    const QString besideExecutable = QCoreApplication::applicationDirPath() + QLatin1Char('/') + toolFileName();
    if (!QCoreApplication::applicationDirPath().isEmpty() && QFileInfo(besideExecutable).isFile())
        return besideExecutable;
    const QString inWorkingDirectory = QDir::current().absoluteFilePath(toolFileName());
    if (QFileInfo(inWorkingDirectory).isFile())
        return inWorkingDirectory;
    const QString onPath = QStandardPaths::findExecutable(toolFileName());
    return onPath.isEmpty() ? inWorkingDirectory : onPath;
}

QString DfuUpgrader::toolPath() const
{
    return m_toolPath;
}

QStringList DfuUpgrader::downloadArguments(const DfuJob &job)
{
    return {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-D"), job.filePath,
            QStringLiteral("-S"), job.serialNumber};
}

QStringList DfuUpgrader::leaveArguments(const DfuJob &job, const QString &temporaryFile)
{
    return {QStringLiteral("-a"), QStringLiteral("0"), QStringLiteral("-R"), QStringLiteral("-S"),
            job.serialNumber, QStringLiteral("-s"), QStringLiteral("0x08004000:leave"),
            QStringLiteral("-U"), temporaryFile};
}

void DfuUpgrader::setDevices(const QList<DfuJob> &jobs)
{
    QMutexLocker lock(&m_mutex);
    QList<DfuJob> fresh;
    for (const DfuJob &job : jobs) {
        auto same = [&job](const DfuJob &other) {
            return other.serialNumber == job.serialNumber && other.filePath == job.filePath;
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
                                         return queued.serialNumber == job.serialNumber
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

bool DfuUpgrader::isBusy() const
{
    QMutexLocker lock(&m_mutex);
    return !m_queue.isEmpty() || !m_current.serialNumber.isEmpty();
}

bool DfuUpgrader::isUpgrading(const QString &serialNumber) const
{
    QMutexLocker lock(&m_mutex);
    if (m_current.serialNumber == serialNumber && !serialNumber.isEmpty())
        return true;
    return std::any_of(m_queue.cbegin(), m_queue.cend(),
                       [&serialNumber](const DfuJob &job) { return job.serialNumber == serialNumber; });
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

    // A job leaves the queue when it becomes the current one, so a job is never
    // flashed twice and stop() can empty the queue while a device is flashed.
    auto next = [this] {
        QMutexLocker lock(&m_mutex);
        m_current = m_queue.isEmpty() ? DfuJob() : m_queue.takeFirst();
        return m_current;
    };
    for (DfuJob job = next(); !job.isNull(); job = next())
        upgrade(job);

    emit allDevicesUpgraded();
}

bool DfuUpgrader::upgrade(const DfuJob &job)
{
    emit started(job.serialNumber);
    // Each device starts afresh: a predecessor's 100 % must not count as this
    // device's download, nor its error text as this device's.
    m_state = 0;
    m_errorString.clear();

    bool result = false;
    if (!QFileInfo(m_toolPath).isFile()) {
        m_errorString = ToolNotFoundText.arg(QFileInfo(m_toolPath).absoluteFilePath());
    } else {
        QSerialPort port;
        port.setPortName(job.portName);
        if (!port.open(QIODevice::ReadWrite)) {
            m_errorString = ConnectFailedText.arg(job.macAddress);
        } else {
            port.setBaudRate(QSerialPort::Baud115200);
            port.setDataBits(QSerialPort::Data8);
            port.setParity(QSerialPort::NoParity);
            port.setStopBits(QSerialPort::OneStop);
            port.setFlowControl(QSerialPort::NoFlowControl);
            const bool switched = switchToDfuMode(port, job);
            port.flush();
            port.close();
            if (!switched) {
                if (m_errorString.isEmpty())
                    m_errorString = kSwitchFailedText.arg(job.macAddress);
            } else {
                // The device needs a moment to show up in DFU mode: a failed
                // attempt followed by a good one is a successful upgrade.
                bool lastRunGood = false;
                for (int attempt = 0; attempt < kMaxDownloadAttempts && m_state != 4; ++attempt) {
                    pause(Timings::ms(Timings::DfuBeforeAttempt));
                    m_progressTail.clear();
                    m_lastMilestone = 0;
                    lastRunGood = runTool(downloadArguments(job));
                    pause(Timings::ms(Timings::DfuAfterAttempt));
                }
                result = lastRunGood;

                const QString temporary = QDir::toNativeSeparators(
                    QDir::tempPath() + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces));
                const int state = m_state;
                const QString error = m_errorString;
                runTool(leaveArguments(job, temporary)); // its outcome is not judged
                m_state = state;
                m_errorString = error;
                QFile::remove(temporary);
            }
        }
    }

    emit finished(job.serialNumber, result, result ? QString() : m_errorString);
    return result;
}

bool DfuUpgrader::switchToDfuMode(QSerialPort &port, const DfuJob &job)
{
    for (int i = 0; i < 2; ++i) {
        port.write(kMenuRequest);
        port.waitForBytesWritten(Timings::ms(Timings::DfuMenuWrite));
    }
    const QString menu = QString::fromUtf8(readConsole(port, Timings::ms(Timings::DfuConsoleReadChunk))).simplified();
    const QString number = kDfuMenuItem.match(menu).captured(1);
    if (number.isEmpty() || !m_errorString.isEmpty())
        return false;

    const QByteArray command = number.toLatin1() + "\r\n";
    QByteArray output;
    for (int i = 0; i < 2; ++i) {
        port.write(command);
        port.waitForBytesWritten(Timings::ms(Timings::DfuCommandWrite));
        if (port.waitForReadyRead(Timings::ms(Timings::DfuConsoleReadChunk)))
            output += port.readAll();
    }
    if (output.isEmpty())
        qDebug() << "NO dfu mode output" << job.serialNumber << job.macAddress << job.portName;
    else
        qDebug() << "Open Dfu output: " << job.serialNumber << job.macAddress << job.portName << output;
    pause(Timings::ms(Timings::DfuAfterCommand));
    return true;
}

QByteArray DfuUpgrader::readConsole(QSerialPort &port, int chunkMs)
{
    const int limit = DeviceInitializer::kMaxConsoleOutput;
    QByteArray answer = port.read(limit + 1);
    while (answer.size() <= limit && port.waitForReadyRead(chunkMs))
        answer += port.read(limit + 1 - answer.size());
    if (answer.size() > limit)
        m_errorString = DeviceInitializer::ConsoleTooLongText.arg(limit);
    return answer;
}

bool DfuUpgrader::runTool(const QStringList &arguments)
{
    bool processFailed = false;
    const QMetaObject::Connection watch = connect(
        m_process, &QProcess::errorOccurred, this, [&processFailed](QProcess::ProcessError) { processFailed = true; },
        Qt::DirectConnection);

    m_process->start(m_toolPath, arguments);
    bool ended = false;
    if (m_process->waitForStarted(Timings::ms(Timings::DfuToolStart)))
        ended = m_process->waitForFinished(Timings::ms(Timings::DfuToolRun));
    if (!ended && !processFailed) {
        // A tool that hangs is abandoned.
        m_state = 2;
        m_errorString = m_process->errorString();
        processFailed = true;
    }
    // The tool's exit code counts too: a tool that refuses the file or loses the
    // device ends normally but with an error code, and that is no upgrade.
    const bool cleanExit = ended && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    if (ended && !processFailed && !cleanExit && m_state != 2) {
        m_state = 2;
        m_errorString = QStringLiteral("Device firmware upgrade tool failed with exit code %1")
                            .arg(m_process->exitCode());
    }
    m_process->close();
    disconnect(watch);
    return cleanExit && !processFailed && (m_state == 1 || m_state == 4);
}

void DfuUpgrader::dfuUpgradeProgress()
{
    const QByteArray output = m_process->readAllStandardOutput();
    // The tool rewrites its progress line with carriage returns and the pieces
    // arrive as they come: read the unfinished line of the last piece with this one.
    const QString text = QString::fromLocal8Bit(m_progressTail + output);
    const QRegularExpressionMatch match = kProgress.match(text);
    if (match.hasMatch()) {
        const int percent = match.captured(1).toInt();
        if (percent < 100)
            m_state = 3;
        else if (percent == 100)
            m_state = 4;
    }
    reportProgress(output);
    qDebug() << "Dfu Progress ReadStandardOutput:" << m_current.portName << m_current.macAddress
             << m_current.serialNumber << output;
}

void DfuUpgrader::reportProgress(const QByteArray &output)
{
    const QByteArray text = m_progressTail + output;
    const int lastBreak = qMax(text.lastIndexOf('\r'), text.lastIndexOf('\n'));
    m_progressTail = lastBreak < 0 ? text : text.mid(lastBreak + 1);

    int highest = -1;
    const QStringList lines = QString::fromLocal8Bit(text).split(QRegularExpression(QStringLiteral("[\r\n]")));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = kDownloadLine.match(line);
        if (match.hasMatch())
            highest = qMax(highest, match.captured(1).toInt());
    }
    for (int milestone : kMilestones) {
        if (highest >= milestone && m_lastMilestone < milestone) {
            m_lastMilestone = milestone;
            emit progress(m_current.serialNumber, milestone);
        }
    }
}

void DfuUpgrader::dfuUpgradeFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    Q_UNUSED(exitCode) // the tool's exit code is not relied on
    const QByteArray errors = m_process->readAllStandardError();
    const QByteArray output = m_process->readAllStandardOutput();
    if (!output.isEmpty())
        reportProgress(output);
    qDebug() << "Dfu Upgrade Finished" << m_current.portName << m_current.macAddress
             << m_current.serialNumber << m_current.filePath << errors << output;
    if (errors.contains(NoDfuDeviceToolText.toLatin1())) {
        m_state = 2;
        m_errorString = CannotFindDfuDeviceText;
    } else if (m_state != 4) {
        m_state = 1;
    }
    if (exitStatus == QProcess::CrashExit) {
        m_state = 2;
        m_errorString = m_process->errorString();
    }
}

void DfuUpgrader::dfuErrorOccurred(QProcess::ProcessError error)
{
    qDebug() << "DFU errorOccurred" << m_current.portName << m_current.macAddress
             << processErrorName(error) << m_process->errorString();
    m_errorString = m_process->errorString();
    m_state = 2;
}
