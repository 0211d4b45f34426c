#include "CommandRunner.h"

#include "ActivityLog.h"
#include "BaseCommand.h"
#include "CommandLists.h"
#include "LogCategories.h"
#include "PingRPCCommand.h"
#include "RetryGroup.h"
#include "Timings.h"
#include "TransferCommandLists.h"

#include <QDebug>
#include <QSerialPort>

namespace {

const QString kOpenFailedText = QStringLiteral("During connecting to device '%1' occured system error: %2");
const QString kPortErrorText = QStringLiteral("During executing commands occured serial port error: '%1'");

// Requests this long or longer (content parts) are not traced one by one.
constexpr int kTracedRequestLimit = 50;

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex(':');
}

} // namespace

CommandRunner::CommandRunner(const DeviceAddress &device, CommandList commands)
    : m_device(device)
    , m_commands(std::move(commands))
    , m_commandCount(m_commands.size())
    , m_checkpoints(m_commands.checkpoints())
    , m_pingCommand(std::make_unique<PingRPCCommand>())
{
    qRegisterMetaType<QMap<int, QVariant>>("QMap<int,QVariant>");
    setAutoDelete(true);
}

CommandRunner::~CommandRunner() = default;

const DeviceAddress &CommandRunner::device() const
{
    return m_device;
}

bool CommandRunner::isStopRequested() const
{
    return m_stop.isRequested();
}

void CommandRunner::stop()
{
    m_stop.request();
}

StopToken CommandRunner::stopToken() const
{
    return m_stop;
}

void CommandRunner::setErrorString(const QString &text)
{
    m_errorString = text;
}

QString CommandRunner::describe() const
{
    return m_device.portName + QLatin1Char(' ') + m_device.macAddress;
}

void CommandRunner::run()
{
    const QString serial = m_device.serialNumber;
    if (m_device.portName.isEmpty()) {
        qDebug() << "Port name is empty" << m_device.portName << m_device.macAddress << m_commands.size();
        emit finished(serial, false, QMap<int, QVariant>(), QString());
        return;
    }
    QSerialPort port;
    emit started(serial);
    bool ok = false;
    if (SerialLink::open(port, m_device.portName)) {
        SerialLink link(port, m_stop);
        ok = processCommands(link);
        port.close();
    } else {
        m_errorString = port.errorString();
        qDebug() << "\t serialPort OPEN ERROR" << m_device.portName << m_device.macAddress << port.error()
                 << m_errorString;
        ActivityLog::warning(lcDeviceManager, ActivityLine(kOpenFailedText, {serial, m_errorString}));
    }
    onProcessingDone(ok);
    const bool success = ok && !isStopRequested();
    emit finished(serial, success, m_readDeviceData, m_errorString);
    qDebug() << "FINISHED" << success << m_device.portName << m_device.macAddress << m_errorString;
}

void CommandRunner::onProcessingDone(bool ok)
{
    Q_UNUSED(ok)
}

bool CommandRunner::processCommands(SerialLink &link)
{
    RetryGroup group;
    while (!m_commands.isEmpty() && !isStopRequested()) {
        BaseCommand &command = *group.take(m_commands);
        const Step step = executeWithContinuation(link, command, true);
        if (step.retry && group.retry(m_commands)) {
            qDebug() << "Retry occured: " << m_device.portName << m_device.macAddress << command.logText()
                     << command.retryCount();
            continue;
        }
        if (!command.isSuccess())
            return fail(link, command, step);
        keepResult(command);
        group.done();
        reportProgress();
    }
    return true;
}

// The command, then its continuation parts for as long as the device has more.
CommandRunner::Step CommandRunner::executeWithContinuation(SerialLink &link, BaseCommand &command,
                                                           bool mayRecover)
{
    Step step = execute(link, command, mayRecover);
    if (command.isSuccess() || !command.hasNextPart() || isStopRequested())
        return step;
    BaseCommand *next = command.nextPart();
    while (next) {
        step = execute(link, *next, mayRecover);
        if (next->isSuccess() || !next->hasNextPart() || isStopRequested())
            break;
    }
    return step;
}

// One exchange, judged by the command: a busy device is polled until it is not,
// and a device that stayed silent gets its port reset when that is allowed.
CommandRunner::Step CommandRunner::execute(SerialLink &link, BaseCommand &command, bool mayRecover)
{
    const QByteArray request = command.request();
    Step step{link.exchange(command, request)};
    command.processResponse(step.answer.bytes);
    m_stop.sleep(command.delayMs());
    if (command.isBusy() && !isStopRequested()) {
        step.answer = pollWhileBusy(link);
        command.processResponse(step.answer.bytes);
    }
    if (request.size() < kTracedRequestLimit) {
        QDebug line = qDebug().noquote();
        line << "PARSING Command result:" << describe() << "COMMAND:" << hex(request) << "RESPONSE:"
             << hex(step.answer.bytes);
        if (!step.answer.portError.isEmpty())
            line << step.answer.portError;
    }
    const bool silent = step.answer.end == SerialLink::End::TimedOut && step.answer.bytes.isEmpty();
    if (silent && mayRecover && !isStopRequested()) {
        step.retry = recover(link, command);
        step.answer.portError.clear();
    }
    return step;
}

// Pings the device until its first answer that is not busy: the device contract
// promises another status once it is done.
SerialLink::Answer CommandRunner::pollWhileBusy(SerialLink &link)
{
    const QByteArray ping = m_pingCommand->request();
    SerialLink::Answer answer;
    do {
        answer = link.exchange(*m_pingCommand, ping);
        m_pingCommand->processResponse(answer.bytes);
        m_stop.sleep(m_pingCommand->delayMs());
    } while (m_pingCommand->isBusy() && !isStopRequested());
    return answer;
}

// Resets the port after a silent device. A command that may be retried also has
// the device's log read and its transfer cancelled; a retry is worth it only when
// the device answers the cancel.
bool CommandRunner::recover(SerialLink &link, const BaseCommand &command)
{
    link.reset();
    if (command.maxRetries() <= 0)
        return false;
    m_stop.sleep(Timings::ms(Timings::RecoveryRetryPause));
    readDeviceLogs(link);
    bool cancelled = true;
    CommandList cancel = cancelCommands();
    while (!cancel.isEmpty()) {
        const std::unique_ptr<BaseCommand> cancelCommand = cancel.takeFirst();
        execute(link, *cancelCommand, false);
        cancelled = cancelled && cancelCommand->isSuccess();
    }
    return cancelled;
}

bool CommandRunner::fail(SerialLink &link, const BaseCommand &command, const Step &step)
{
    const QString portError = step.answer.portError;
    m_errorString = portError.isEmpty() ? command.errorString() : portError;
    qDebug().noquote() << "COMANDS ERROR: " << describe() << command.logText() << "\n Serial port error:"
                       << portError << "COMMAND:" << hex(command.request()) << "RESPONSE:"
                       << hex(command.lastResponse());
    if (step.answer.end == SerialLink::End::PortFailed)
        ActivityLog::warning(lcDeviceManager, ActivityLine(kPortErrorText, {portError}));
    readDeviceLogs(link);
    return false;
}

void CommandRunner::keepResult(const BaseCommand &command)
{
    if (command.resultKey() != BaseCommand::NoResult)
        m_readDeviceData.insert(command.resultKey(), command.result());
    const ActivityLine line = command.message(m_device.macAddress);
    if (!line.text().isEmpty())
        ActivityLog::info(lcDeviceManager, line);
}

void CommandRunner::reportProgress()
{
    const int done = m_commandCount - m_commands.size();
    int passed = m_checkpointsPassed;
    while (passed < m_checkpoints.size() && m_checkpoints.at(passed) <= done)
        ++passed;
    if (passed == m_checkpointsPassed)
        return;
    m_checkpointsPassed = passed;
    emit progress(m_device.serialNumber, passed, m_checkpoints.size());
}

void CommandRunner::readDeviceLogs(SerialLink &link)
{
    CommandList list = logCommands();
    while (!list.isEmpty()) {
        const std::unique_ptr<BaseCommand> command = list.takeFirst();
        executeWithContinuation(link, *command, false);
        qDebug().noquote() << "Device Logs: " << m_device.portName;
        const QStringList lines = command->result().toStringList();
        for (const QString &line : lines)
            qDebug().noquote() << line;
    }
}
