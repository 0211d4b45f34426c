#include "SerialLink.h"

#include "BaseCommand.h"
#include "Timings.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
// How often a wait looks at the stop request.
constexpr int kStopCheckMs = 50;
}

SerialLink::SerialLink(QSerialPort &port, const StopToken &stop)
    : m_port(port)
    , m_stop(stop)
{
}

bool SerialLink::open(QSerialPort &port, const QString &portName)
{
    port.setPortName(portName);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

QSerialPort &SerialLink::port() const
{
    return m_port;
}

const StopToken &SerialLink::stop() const
{
    return m_stop;
}

SerialLink::Answer SerialLink::exchange(const BaseCommand &command, const QByteArray &request)
{
    // Bytes that arrived before the request (a late answer to an earlier one)
    // belong to no answer of this exchange. A port that cannot even be flushed
    // is gone; the write and the wait below then say so in their own words.
    if (!m_port.clear(QSerialPort::Input))
        m_port.clearError();
    Answer answer;
    send(request);
    do {
        answer.end = waitForData(command.timeoutMs());
        if (answer.end != End::Complete)
            break;
        appendAvailable(&answer.bytes);
    } while (!command.isComplete(answer.bytes) && answer.bytes.size() <= command.maxAnswerSize()
             && !m_stop.isRequested());
    // The text is read only with an error: clearing a clear port still builds
    // its "No error" text through the translator.
    if (m_port.error() != QSerialPort::NoError) {
        answer.portError = m_port.errorString();
        m_port.clearError();
    }
    return answer;
}

SerialLink::End SerialLink::waitForData(int timeoutMs)
{
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    for (;;) {
        const int slice = int(qMin<qint64>(deadline.remainingTime(), kStopCheckMs));
        if (m_port.waitForReadyRead(slice))
            return End::Complete;
        const QSerialPort::SerialPortError error = m_port.error();
        // A wait can also end without an error once its time went into
        // writing the request; only the deadline decides that time is up.
        if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
            return End::PortFailed;
        if (deadline.hasExpired())
            return End::TimedOut;
        if (m_stop.isRequested())
            return End::Stopped;
        m_port.clearError();
    }
}

void SerialLink::reset()
{
    m_port.clearError();
    m_port.close();
    m_stop.sleep(Timings::ms(Timings::PortResetClosed));
    m_port.open(QIODevice::ReadWrite);
    m_stop.sleep(Timings::ms(Timings::PortResetReopened));
}

// Sends the request straight to the terminal when nothing else waits to go out:
// QSerialPort would first wait for room, one more system call per exchange. What
// does not go out at once, or fails, takes QSerialPort's own way, which also
// reports the port's error.
void SerialLink::send(const QByteArray &request)
{
    qint64 sent = 0;
#ifdef Q_OS_UNIX
    if (m_port.bytesToWrite() == 0) {
        const ssize_t n = ::write(m_port.handle(), request.constData(), size_t(request.size()));
        if (n > 0)
            sent = n;
    }
#endif
    if (sent < request.size())
        m_port.write(request.constData() + sent, request.size() - sent);
}

// Moves what the port holds to the end of the answer. readAll() would hand over
// an array with room for a whole read chunk (64 KiB here) for an answer of a few
// bytes, and every command of a transfer keeps its answer until its group ends.
void SerialLink::appendAvailable(QByteArray *answer)
{
    const qint64 available = m_port.bytesAvailable();
    if (available <= 0)
        return;
    const int before = answer->size();
    answer->resize(before + int(available));
    const qint64 got = m_port.read(answer->data() + before, available);
    answer->resize(before + int(qMax<qint64>(0, got)));
}
