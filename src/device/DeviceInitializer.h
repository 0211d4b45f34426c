#pragma once

#include "CommandRunner.h"
#include "DeviceInfo.h"

class DeviceConsole;

// Reads a device's MAC address, name and firmware version through its text
// console, for devices that did not answer the RPC read: finds the menu numbers
// of "Dump Config" and "Show Software Version", and scrapes their screens.
class DeviceInitializer : public CommandRunner
{
    Q_OBJECT

public:
    static const QString FailedToReadText; // "Failed to read MAC and Name for device '%1' with serial number '%2'"
    static constexpr int kMenuAttempts = 4;

    explicit DeviceInitializer(const DeviceInfo &info);

    // "0x1 0xA2 0x3B 0xC 0x55 0x6" -> "01:A2:3B:0C:55:06"
    static QString formatMac(const QString &consoleText);
    // The fields a configuration dump and a version screen yield.
    static void applyDump(const QByteArray &dump, DeviceInfo &info);
    static QString versionFrom(const QByteArray &screen);

signals:
    void deviceReady(DeviceInfo devicesInfo);

protected:
    bool processCommands(SerialLink &link) override;
    void onProcessingDone(bool ok) override;

private:
    struct MenuNumbers {
        QString dump;
        QString version;
    };
    MenuNumbers findMenu(DeviceConsole &console);
    QByteArray readScreen(SerialLink &link, DeviceConsole &console, const QString &number);
    void giveUp(const QString &reason);

    DeviceInfo m_info;
};
