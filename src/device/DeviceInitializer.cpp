#include "DeviceInitializer.h"

#include "ActivityLog.h"
#include "DeviceConsole.h"
#include "LogCategories.h"
#include "Timings.h"

#include <QDebug>
#include <QRegularExpression>
#include <QSerialPort>

const QString DeviceInitializer::FailedToReadText =
    QStringLiteral("Failed to read MAC and Name for device '%1' with serial number '%2'");

namespace {

const QRegularExpression kDumpItem(QStringLiteral("(\\d+). Dump Config"));
const QRegularExpression kVersionItem(QStringLiteral("(\\d+). Show Software Version"));
const QRegularExpression kMacLine(QStringLiteral("MAC address: \\s*(0x[\\d\\w\\s]{1,}\\b)"));
const QRegularExpression kNameLine(QStringLiteral("s*ble advertisment name:s*([\\d\\w\\s]*)"));
const QRegularExpression kVersionLine(QStringLiteral("Firmware version (\\d+(\\.\\d+\\S+)+)"));

DeviceAddress addressOf(const DeviceInfo &info)
{
    return DeviceAddress{info.value(DeviceInfo::SerialNumber).toString(), info.value(DeviceInfo::PortName).toString(),
                         info.value(DeviceInfo::MacAddress).toString()};
}

} // namespace

DeviceInitializer::DeviceInitializer(const DeviceInfo &info)
    : CommandRunner(addressOf(info), CommandList())
    , m_info(info)
{
}

DeviceInitializer::MenuNumbers DeviceInitializer::menuNumbers(const QString &menu)
{
    return MenuNumbers{kDumpItem.match(menu).captured(1), kVersionItem.match(menu).captured(1)};
}

QString DeviceInitializer::formatMac(const QString &consoleText)
{
    QString text = consoleText.simplified();
    text.remove(QStringLiteral("0x"));
    QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &part : parts)
        if (part.size() == 1)
            part.prepend(QLatin1Char('0'));
    return parts.join(QLatin1Char(':'));
}

void DeviceInitializer::applyDump(const QByteArray &dump, DeviceInfo &info)
{
    const QStringList pieces = QString::fromUtf8(dump).split(QStringLiteral("\r\n\t"));
    for (const QString &piece : pieces) {
        const QString mac = kMacLine.match(piece).captured(1);
        if (!mac.isEmpty())
            info.setValue(DeviceInfo::MacAddress, formatMac(mac));
        const QString name = kNameLine.match(piece).captured(1).simplified();
        if (!name.isEmpty())
            info.setValue(DeviceInfo::Name, name);
    }
}

QString DeviceInitializer::versionFrom(const QByteArray &screen)
{
    QString version;
    const QStringList pieces = QString::fromUtf8(screen).split(QStringLiteral("\r\n"));
    for (const QString &piece : pieces) {
        const QRegularExpressionMatch match = kVersionLine.match(piece);
        if (match.hasMatch())
            version = match.captured(1); // the last matching piece wins
    }
    return version;
}

// The dialogue always counts as done: whatever it found is in the record.
bool DeviceInitializer::processCommands(SerialLink &link)
{
    link.port().readAll(); // whatever the device printed before we asked
    DeviceConsole console(link);
    const MenuNumbers menu = findMenu(console);
    if (menu.dump.isEmpty() || menu.version.isEmpty() || !console.error().isEmpty()) {
        giveUp(console.error());
        return true;
    }
    const QByteArray dump = readScreen(link, console, menu.dump);
    qDebug() << "DUMP  CONFIG DATA: \t" << dump << link.port().errorString();
    if (!dump.isEmpty())
        applyDump(dump, m_info);

    const QByteArray screen = readScreen(link, console, menu.version);
    if (screen.isEmpty())
        qDebug() << "Failed to read Fw Version";
    m_info.setValue(DeviceInfo::FwVersion, screen.isEmpty() ? QString() : versionFrom(screen));
    if (!console.error().isEmpty())
        giveUp(console.error());
    return true;
}

DeviceInitializer::MenuNumbers DeviceInitializer::findMenu(DeviceConsole &console)
{
    MenuNumbers numbers;
    for (int attempt = 1; attempt <= kMenuAttempts && !isStopRequested() && console.error().isEmpty(); ++attempt) {
        numbers = menuNumbers(
            console.readMenu(Timings::ms(Timings::ConsoleWriteWait), Timings::ms(Timings::ConsoleSilence)));
        if (!numbers.dump.isEmpty())
            break;
    }
    return numbers;
}

// A screen of the menu, on a freshly reset port.
QByteArray DeviceInitializer::readScreen(SerialLink &link, DeviceConsole &console, const QString &number)
{
    if (!console.error().isEmpty())
        return QByteArray();
    link.reset();
    console.type(number.toLatin1(), Timings::ms(Timings::ConsoleWriteWait));
    return console.readUntilSilence(Timings::ms(Timings::ConsoleSilence));
}

void DeviceInitializer::giveUp(const QString &reason)
{
    const QString port = m_info.value(DeviceInfo::PortName).toString();
    const QString serial = m_info.value(DeviceInfo::SerialNumber).toString();
    if (reason.isEmpty())
        ActivityLog::info(lcDeviceManager, ActivityLine(FailedToReadText, {port, serial}));
    else
        ActivityLog::warning(lcDeviceManager, ActivityLine(FailedToReadText + QStringLiteral(": %3"), {port, serial, reason}));
}

void DeviceInitializer::onProcessingDone(bool)
{
    emit deviceReady(m_info);
}
