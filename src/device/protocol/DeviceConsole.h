#pragma once

#include <QByteArray>
#include <QString>

class SerialLink;

// The device's text console on its serial link: the main menu, lines typed with
// their "\r\n", and answers read until the device falls silent. An answer longer
// than any screen of the console ends the dialogue with an error.
class DeviceConsole
{
public:
    static const QByteArray MenuRequest;         // "0\r\n"
    static const QString OutputTooLongText;      // "Device console output is longer than %1 bytes"
    static constexpr int kMaxOutput = 16 * 1024; // the longest screen is well under 2 KiB

    explicit DeviceConsole(SerialLink &link);

    // Asks twice for the main menu and reads it, whitespace collapsed.
    QString readMenu(int writeWaitMs, int silenceMs);
    // Types the text followed by "\r\n" and waits until it has been handed over.
    void type(const QByteArray &text, int writeWaitMs);
    // Reads until nothing came for `silenceMs`, the port failed, a stop was
    // requested or the output passed kMaxOutput (see error()).
    QByteArray readUntilSilence(int silenceMs);
    // Why the console cannot be trusted any more; empty while it can.
    QString error() const;

private:
    void write(const QByteArray &bytes, int writeWaitMs);

    SerialLink &m_link;
    QString m_error;
};
