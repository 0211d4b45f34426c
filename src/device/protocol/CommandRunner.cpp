#include "CommandRunner.h"

#include "BaseCommand.h"
#include "CommandLists.h"
#include "LogCategories.h"
#include "PingRPCCommand.h"
#include "PortEnumerator.h"
#include "Timings.h"
#include "TransferCommandLists.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const char *const kOpenFailed = "During connecting to device '%1' occured system error: %2";
const char *const kPortError = "During executing commands occured serial port error: '%1'";

// How often long waits and pauses look at the stop flag.
constexpr int kStopCheckMs = 50;
// Requests this long or longer (content parts) are not traced one by one.
constexpr int kTracedRequestLimit = 50;

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex(':');
}

// Sends the request straight to the terminal when nothing else waits to go out:
// QSerialPort would first wait for room, one more system call per exchange. What
// does not go out at once, or fails, takes QSerialPort's own way, which also
// reports the port's error as before.
void send(QSerialPort *port, const QByteArray &request)
{
    qint64 sent = 0;
#ifdef Q_OS_UNIX
    if (port->bytesToWrite() == 0) {
        const ssize_t n = ::write(port->handle(), request.constData(), size_t(request.size()));
        if (n > 0)
            sent = n;
    }
#endif
    if (sent < request.size())
        port->write(request.constData() + sent, request.size() - sent);
}

// Moves what the port holds to the end of the answer. readAll() would hand over
// an array with room for a whole read chunk (64 KiB here) for an answer of a few
// bytes, and every command of a transfer keeps its answer until its group ends.
void appendAvailable(QSerialPort *port, QByteArray *answer)
{
    const qint64 available = port->bytesAvailable();
    if (available <= 0)
        return;
    const int before = answer->size();
    answer->resize(before + int(available));
    const qint64 got = port->read(answer->data() + before, available);
    answer->resize(before + int(qMax<qint64>(0, got)));
}

} // namespace

CommandRunner::CommandRunner(const QString &portName, const QString &macAddress,
                             CommandList commands, int startDelayMs)
    : m_portName(portName)
    , m_macAddress(macAddress)
    , m_deviceSerial(PortEnumerator::findByPortName(portName).serialNumber)
    , m_commands(std::move(commands))
    , m_pingCommand(std::make_unique<PingRPCCommand>())
    , m_stopRequested(std::make_shared<std::atomic<bool>>(false))
    , m_startDelayMs(startDelayMs)
{
    qRegisterMetaType<QMap<int, QVariant>>("QMap<int,QVariant>");
    setAutoDelete(true);
}

CommandRunner::~CommandRunner() = default;

QString CommandRunner::portName() const
{
    return m_portName;
}

QString CommandRunner::macAddress() const
{
    return m_macAddress;
}

QString CommandRunner::deviceSerial() const
{
    return m_deviceSerial;
}

bool CommandRunner::isStopRequested() const
{
    return m_stopRequested->load();
}

void CommandRunner::stop()
{
    m_stopRequested->store(true);
}

std::shared_ptr<std::atomic<bool>> CommandRunner::stopHandle() const
{
    return m_stopRequested;
}

QMap<int, QVariant> &CommandRunner::readDeviceData()
{
    return m_readDeviceData;
}

void CommandRunner::setErrorString(const QString &text)
{
    m_errorString = text;
}

QString CommandRunner::describe() const
{
    return m_portName + QLatin1Char(' ') + m_macAddress;
}

void CommandRunner::run()
{
    if (m_portName.isEmpty()) {
        qDebug() << "Port name is empty" << m_portName << m_macAddress << m_commands.size();
        emit finished(m_deviceSerial, false, QMap<int, QVariant>(), QString());
        return;
    }
    if (m_startDelayMs != 0)
        pause(m_startDelayMs);

    QSerialPort port;
    port.setPortName(m_portName);
    m_readDeviceData.clear();
    emit started(m_deviceSerial);

    bool ok = false;
    if (!port.open(QIODevice::ReadWrite)) {
        m_errorString = port.errorString();
        qDebug() << "\t serialPort OPEN ERROR" << m_portName << m_macAddress << port.error()
                 << m_errorString;
        onOpenFailed(&port);
    } else {
        port.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        ok = processCommands(&port);
        port.close();
    }
    onProcessingDone(&port, ok);
    const bool success = ok && !m_stopRequested->load();
    emit finished(m_deviceSerial, success, m_readDeviceData, m_errorString);
    qDebug() << "FINISHED" << success << m_portName << m_macAddress << m_errorString;
}

bool CommandRunner::processCommands(QSerialPort *port)
{
    // Commands taken off the queue stay alive here while their group is open, so a
    // retry can queue them again.
    std::deque<std::unique_ptr<BaseCommand>> group;
    bool inGroup = false;
    while (!m_commands.isEmpty() && !m_stopRequested->load()) {
        std::unique_ptr<BaseCommand> owned = m_commands.takeFirst();
        BaseCommand *command = owned.get();
        if (command->groupPosition() == BaseCommand::GroupFirst)
            inGroup = true;
        const bool member = inGroup;
        if (member)
            group.push_back(std::move(owned));
        const bool groupEnds = member && command->groupPosition() == BaseCommand::GroupLast;
        if (command->groupPosition() == BaseCommand::GroupLast)
            inGroup = false;

        executeWithContinuation(port, command, true, true);

        if (m_retryRequested && !group.empty()) {
            BaseCommand *head = group.front().get();
            if (head->maxRetries() > head->retryCount()) {
                while (!group.empty()) {
                    m_commands.prepend(std::move(group.back()));
                    group.pop_back();
                }
                head->setRetryCount(head->retryCount() + 1);
                qDebug() << "Retry occured: " << m_portName << m_macAddress << command->logText()
                         << command->retryCount();
                m_retryRequested = false;
                inGroup = false;
                continue;
            }
        }
        // A retry that no group can take must not leak into a later group.
        m_retryRequested = false;

        if (!command->isSuccess()) {
            m_errorString = m_exchangeError == QSerialPort::NoError ? command->errorString()
                                                                    : m_exchangeErrorString;
            qDebug().noquote() << "COMANDS ERROR: " << describe() << command->logText()
                               << "\n Serial port error:"
                               << (m_exchangeError == QSerialPort::NoError ? QString()
                                                                           : m_exchangeErrorString)
                               << "COMMAND:" << hex(command->request())
                               << "RESPONSE:" << hex(command->lastResponse());
            readDeviceLogs(port);
            return false;
        }
        if (command->resultKey() != BaseCommand::NoResult)
            m_readDeviceData.insert(command->resultKey(), command->result());
        const QString line = command->message(m_macAddress);
        if (!line.isEmpty())
            qCInfo(lcDeviceManager).noquote() << line;
        if (groupEnds)
            group.clear();
    }
    return true;
}

bool CommandRunner::executeWithContinuation(QSerialPort *port, BaseCommand *command,
                                            bool allowRecovery, bool readLogs)
{
    bool failed = executeCommand(port, command, allowRecovery, readLogs);
    if (command->isSuccess() || !command->hasNextPart() || m_stopRequested->load())
        return failed;
    BaseCommand *next = command->nextPart();
    if (!next)
        return failed;
    do {
        failed = executeCommand(port, next, allowRecovery, readLogs);
    } while (!next->isSuccess() && next->hasNextPart() && !m_stopRequested->load());
    return failed;
}

bool CommandRunner::executeCommand(QSerialPort *port, BaseCommand *command, bool allowRecovery,
                                   bool readLogs)
{
    if (!port->isOpen()) {
        // Only after a reset that could not reopen the port; the exchange that
        // tried reported why.
        m_exchangeError = QSerialPort::NotOpenError;
        m_exchangeErrorString = QStringLiteral("Serial port is not open");
        return false;
    }

    const QByteArray request = command->request();
    bool timedOut = false;
    QByteArray answer = exchange(port, command, request, &timedOut);
    command->processResponse(answer);
    pause(command->delayMs());

    if (command->isBusy()) {
        const QByteArray pingRequest = m_pingCommand->request();
        bool polled = false;
        QByteArray pingAnswer;
        while (!m_stopRequested->load()) {
            pingAnswer = exchange(port, m_pingCommand.get(), pingRequest, &timedOut);
            polled = true;
            m_pingCommand->processResponse(pingAnswer);
            pause(m_pingCommand->delayMs());
            if (!m_pingCommand->isBusy())
                break;
        }
        if (polled) {
            answer = pingAnswer;
            command->processResponse(answer);
        }
    }

    bool failed = !command->isSuccess();
    if (request.size() < kTracedRequestLimit) {
        QDebug trace = qDebug().noquote();
        trace << "PARSING Command result:" << describe() << "COMMAND:" << hex(request)
              << "RESPONSE:" << hex(answer);
        if (port->error() != QSerialPort::NoError)
            trace << port->errorString();
    }

    if (timedOut && !m_stopRequested->load() && allowRecovery && answer.isEmpty()) {
        recoverPort(port, command, readLogs);
        failed = false;
    }

    // The text is read only with an error: clearing a clear port still builds
    // its "No error" text through the translator.
    m_exchangeError = port->error();
    if (m_exchangeError != QSerialPort::NoError) {
        m_exchangeErrorString = port->errorString();
        port->clearError();
    }
    return failed;
}

void CommandRunner::recoverPort(QSerialPort *port, BaseCommand *command, bool readLogs)
{
    port->clearError();
    resetPort(port);
    if (command->maxRetries() <= 0)
        return;
    pause(Timings::ms(Timings::RecoveryRetryPause));
    m_retryRequested = true;
    if (readLogs)
        readDeviceLogs(port);
    CommandList cancel = cancelCommands();
    while (!cancel.isEmpty()) {
        const std::unique_ptr<BaseCommand> cancelCommand = cancel.takeFirst();
        executeCommand(port, cancelCommand.get(), false, false);
        // Only a device that answers again, with its transfer dropped, is worth
        // sending the group to once more.
        if (!cancelCommand->isSuccess())
            m_retryRequested = false;
    }
}

QByteArray CommandRunner::exchange(QSerialPort *port, BaseCommand *command,
                                   const QByteArray &request, bool *timedOut)
{
    // Bytes that arrived before the request (a late answer to an earlier one)
    // belong to no answer of this exchange. A port that cannot even be flushed
    // is gone; the write and the wait below then say so in their own words.
    if (!port->clear(QSerialPort::Input))
        port->clearError();
    *timedOut = false;
    QByteArray answer;
    send(port, request);
    const int timeout = command->timeoutMs();
    do {
        const WaitResult result = waitForData(port, timeout);
        if (result != WaitResult::Data) {
            *timedOut = result == WaitResult::TimedOut;
            break;
        }
        appendAvailable(port, &answer);
    } while (!command->isComplete(answer) && answer.size() <= command->maxAnswerSize()
             && port->error() == QSerialPort::NoError && !m_stopRequested->load());
    return answer;
}

CommandRunner::WaitResult CommandRunner::waitForData(QSerialPort *port, int timeoutMs)
{
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    for (;;) {
        const int slice = int(qMin<qint64>(deadline.remainingTime(), kStopCheckMs));
        if (port->waitForReadyRead(slice))
            return WaitResult::Data;
        const QSerialPort::SerialPortError error = port->error();
        // A wait can also end without an error once its time went into
        // writing the request; only the deadline decides that time is up.
        if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
            return WaitResult::Failed;
        if (deadline.hasExpired())
            return WaitResult::TimedOut;
        if (m_stopRequested->load())
            return WaitResult::Stopped;
        port->clearError();
    }
}

void CommandRunner::pause(int ms) const
{
    if (ms <= 0)
        return;
    const QDeadlineTimer deadline(ms);
    while (!m_stopRequested->load()) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0)
            return;
        QThread::msleep(ulong(qMin<qint64>(remaining, kStopCheckMs)));
    }
}

void CommandRunner::resetPort(QSerialPort *port)
{
    port->close();
    pause(Timings::ms(Timings::PortResetClosed));
    port->open(QIODevice::ReadWrite);
    pause(Timings::ms(Timings::PortResetReopened));
}

void CommandRunner::readDeviceLogs(QSerialPort *port)
{
    CommandList list = logCommands();
    while (!list.isEmpty()) {
        const std::unique_ptr<BaseCommand> command = list.takeFirst();
        executeWithContinuation(port, command.get(), false, false);
        qDebug().noquote() << "Device Logs: " << m_portName;
        const QStringList lines = command->result().toStringList();
        for (const QString &line : lines)
            qDebug().noquote() << line;
    }
}

void CommandRunner::onOpenFailed(QSerialPort *port)
{
    qCWarning(lcDeviceManager).noquote()
        << QString::fromLatin1(kOpenFailed).arg(m_deviceSerial, port->errorString());
}

void CommandRunner::onProcessingDone(QSerialPort *port, bool ok)
{
    if (!ok && port->error() != QSerialPort::NoError)
        qCWarning(lcDeviceManager).noquote()
            << QString::fromLatin1(kPortError).arg(port->errorString());
}
