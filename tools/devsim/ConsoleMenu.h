#pragma once

#include <QByteArray>

struct DeviceIdentity;
class ContentStore;

// The firmware's text console: a numbered main menu printed on "0", and one
// screen per item. Lines end in "\r\n"; the configuration dump separates its
// entries with "\r\n\t".
class ConsoleMenu
{
public:
    enum Action { None, Reboot, EnterDfu };

    struct Result {
        QByteArray output;
        Action action = None;
    };

    Result handleLine(const QByteArray &line, const DeviceIdentity &identity,
                      const ContentStore &store) const;

    static QByteArray menu();

private:
    static QByteArray deviceInfo(const DeviceIdentity &identity);
    static QByteArray battery(const DeviceIdentity &identity);
    static QByteArray configDump(const DeviceIdentity &identity, const ContentStore &store);
    static QByteArray version(const DeviceIdentity &identity);
    static QByteArray storage(const ContentStore &store);
};
