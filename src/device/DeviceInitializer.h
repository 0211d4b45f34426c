#pragma once

#include "CommandRunner.h"
#include "DeviceInfo.h"

#include <QRegularExpression>

// Reads a device's MAC address, name and firmware version through its text
// console, for devices that did not answer the RPC read: finds the menu numbers
// of "Dump Config" and "Show Software Version", and scrapes their screens.
class DeviceInitializer : public CommandRunner
{
    Q_OBJECT

public:
    static const QString FailedToReadText; // "Failed to read MAC and Name for device '%1' with serial number '%2'"
    static const QString ConsoleTooLongText; // "Device console output is longer than %1 bytes"
    static constexpr int kMenuAttempts = 4;
    // The longest console screen is well under 2 KiB.
    static constexpr int kMaxConsoleOutput = 16 * 1024;

    explicit DeviceInitializer(const DeviceInfo &info);

    // "0x1 0xA2 0x3B 0xC 0x55 0x6" -> "01:A2:3B:0C:55:06"
    static QString formatMac(const QString &consoleText);
    // The fields a configuration dump and a version screen yield.
    static void applyDump(const QByteArray &dump, DeviceInfo &info);
    static QString versionFrom(const QByteArray &screen);

signals:
    void deviceReady(DeviceInfo devicesInfo);

protected:
    bool processCommands(QSerialPort *port) override;
    void onOpenFailed(QSerialPort *port) override;
    void onProcessingDone(QSerialPort *port, bool ok) override;

private:
    void writeLine(QSerialPort *port, const QByteArray &text);
    QByteArray readUntilSilence(QSerialPort *port);

    DeviceInfo m_info;
    QString m_consoleError;
};
