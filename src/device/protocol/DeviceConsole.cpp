#include "DeviceConsole.h"

#include "SerialLink.h"

#include <QDeadlineTimer>
#include <QSerialPort>

const QByteArray DeviceConsole::MenuRequest = "0\r\n";
const QString DeviceConsole::OutputTooLongText = QStringLiteral("Device console output is longer than %1 bytes");

DeviceConsole::DeviceConsole(SerialLink &link)
    : m_link(link)
{
}

QString DeviceConsole::readMenu(int writeWaitMs, int silenceMs)
{
    write(MenuRequest, writeWaitMs);
    write(MenuRequest, writeWaitMs);
    return QString::fromUtf8(readUntilSilence(silenceMs)).simplified();
}

void DeviceConsole::type(const QByteArray &text, int writeWaitMs)
{
    write(text + "\r\n", writeWaitMs);
}

void DeviceConsole::write(const QByteArray &bytes, int writeWaitMs)
{
    QSerialPort &port = m_link.port();
    port.write(bytes);
    port.waitForBytesWritten(writeWaitMs);
}

QByteArray DeviceConsole::readUntilSilence(int silenceMs)
{
    QSerialPort &port = m_link.port();
    QByteArray output = port.read(kMaxOutput + 1);
    while (output.size() <= kMaxOutput && m_link.waitForData(silenceMs) == SerialLink::End::Complete)
        output += port.read(kMaxOutput + 1 - output.size());
    if (output.size() > kMaxOutput) {
        m_error = OutputTooLongText.arg(kMaxOutput);
        output.truncate(kMaxOutput);
    }
    return output;
}

QString DeviceConsole::error() const
{
    return m_error;
}
