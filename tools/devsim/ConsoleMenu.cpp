#include "ConsoleMenu.h"

#include "ContentStore.h"
#include "DeviceIdentity.h"

namespace {

const QByteArray kPrompt = QByteArrayLiteral("\r\nSelect> ");

QByteArray line(const QString &text)
{
    return text.toUtf8() + "\r\n";
}

} // namespace

QByteArray ConsoleMenu::menu()
{
    return QByteArrayLiteral("\r\n"
                             "======== TAMO MAIN MENU ========\r\n"
                             "1. Show Device Info\r\n"
                             "2. Show Battery Status\r\n"
                             "3. Dump Config\r\n"
                             "4. Reboot Device\r\n"
                             "5. Show Software Version\r\n"
                             "6. Show Storage Summary\r\n"
                             "7. Transition to DFU Mode\r\n"
                             "0. Show Main Menu\r\n")
        + kPrompt;
}

ConsoleMenu::Result ConsoleMenu::handleLine(const QByteArray &input, const DeviceIdentity &identity,
                                            const ContentStore &store) const
{
    const QByteArray command = input.trimmed();
    Result result;
    if (command == "0")
        result.output = menu();
    else if (command == "1")
        result.output = deviceInfo(identity) + kPrompt;
    else if (command == "2")
        result.output = battery(identity) + kPrompt;
    else if (command == "3")
        result.output = configDump(identity, store) + kPrompt;
    else if (command == "4") {
        result.output = QByteArrayLiteral("\r\nRebooting...\r\n");
        result.action = Reboot;
    } else if (command == "5")
        result.output = version(identity) + kPrompt;
    else if (command == "6")
        result.output = storage(store) + kPrompt;
    else if (command == "7") {
        result.output = QByteArrayLiteral("\r\nJumping to DFU bootloader...\r\n");
        result.action = EnterDfu;
    } else
        result.output = "\r\nUnknown command '" + command + "'. Enter 0 for the menu." + kPrompt;
    return result;
}

QByteArray ConsoleMenu::deviceInfo(const DeviceIdentity &identity)
{
    return "\r\n" + line(QStringLiteral("Device info:"))
        + line(QStringLiteral("  Name: %1").arg(identity.name))
        + line(QStringLiteral("  Board: %1").arg(identity.boardId))
        + line(QStringLiteral("  Serial: %1").arg(identity.deviceSerial))
        + line(QStringLiteral("  Plant: %1").arg(identity.plantNumber));
}

QByteArray ConsoleMenu::battery(const DeviceIdentity &identity)
{
    return "\r\n" + line(QStringLiteral("Battery level: %1%").arg(identity.battery));
}

QByteArray ConsoleMenu::configDump(const DeviceIdentity &identity, const ContentStore &store)
{
    const QStringList entries{
        QStringLiteral("MAC address: %1").arg(identity.consoleMac()),
        QStringLiteral("ble advertisment name: %1").arg(identity.name),
        QStringLiteral("board id: %1").arg(identity.boardId),
        QStringLiteral("device serial: %1").arg(identity.deviceSerial),
        QStringLiteral("plant number: %1").arg(identity.plantNumber),
        QStringLiteral("brightness: %1").arg(identity.brightness),
        QStringLiteral("dim level: %1").arg(identity.dimLevel),
        QStringLiteral("free slots: %1 of %2").arg(store.freeSlots()).arg(store.slotCount()),
    };
    return "\r\nConfig dump:\r\n\t" + entries.join(QStringLiteral("\r\n\t")).toUtf8() + "\r\n";
}

QByteArray ConsoleMenu::version(const DeviceIdentity &identity)
{
    return "\r\n" + line(QStringLiteral("Firmware version %1").arg(identity.firmwareVersion))
        + line(QStringLiteral("Bootloader version 2.1.0"))
        + line(QStringLiteral("Hardware %1").arg(identity.boardId));
}

QByteArray ConsoleMenu::storage(const ContentStore &store)
{
    return "\r\n"
        + line(QStringLiteral("Slots: %1 used, %2 free").arg(store.usedSlots()).arg(store.freeSlots()))
        + line(QStringLiteral("Pictures: %1, GIFs: %2, slideshows: %3")
                   .arg(store.ids(ContentStore::Image).size())
                   .arg(store.ids(ContentStore::Gif).size())
                   .arg(store.ids(ContentStore::Slideshow).size()));
}
