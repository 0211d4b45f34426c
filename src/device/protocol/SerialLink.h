#pragma once

#include "StopToken.h"

#include <QByteArray>
#include <QString>

class BaseCommand;
class QSerialPort;

// The serial link to one device, used on the thread that owns the port: opening
// it with the device's settings, binary exchanges (one request, its answer),
// waits for data, port resets and pauses. Every wait is cut short by a stop
// request, and no read grows without a bound.
class SerialLink
{
public:
    // How reading an answer ended.
    enum class End { Complete, TimedOut, PortFailed, Stopped };

    struct Answer {
        QByteArray bytes;
        End end = End::Complete;
        // The port's error text (a time-out included) at the end of the
        // exchange; the port itself is cleared for the next one.
        QString portError;
    };

    SerialLink(QSerialPort &port, const StopToken &stop);

    // Opens the port read-write at 115200 baud, 8N1, no flow control.
    static bool open(QSerialPort &port, const QString &portName);

    QSerialPort &port() const;
    const StopToken &stop() const;

    // Writes the request and reads until the command calls the answer complete,
    // the answer outgrows the longest the command can get, the command's wait
    // runs out, the port fails or a stop is requested.
    Answer exchange(const BaseCommand &command, const QByteArray &request);
    // Waits up to `timeoutMs` for data to read.
    End waitForData(int timeoutMs);
    // Close, pause, reopen, let the device settle.
    void reset();

private:
    void send(const QByteArray &request);
    void appendAvailable(QByteArray *answer);

    QSerialPort &m_port;
    StopToken m_stop;
};
