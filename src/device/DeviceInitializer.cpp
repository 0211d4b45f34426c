#include "DeviceInitializer.h"

#include "LogCategories.h"
#include "Timings.h"

#include <QDebug>
#include <QSerialPort>

const QString DeviceInitializer::ConsoleTooLongText = QStringLiteral("Device console output is longer than %1 bytes");
const QString DeviceInitializer::FailedToReadText =
    QStringLiteral("Failed to read MAC and Name for device '%1' with serial number '%2'");

namespace {

const QString kOpenFailedText = QStringLiteral("During connecting to device '%1' occured system error: %2");
const QByteArray kMenuRequest = "0\r\n";

const QRegularExpression kDumpItem(QStringLiteral("(\\d+). Dump Config"));
const QRegularExpression kVersionItem(QStringLiteral("(\\d+). Show Software Version"));
const QRegularExpression kMacLine(QStringLiteral("MAC address: \\s*(0x[\\d\\w\\s]{1,}\\b)"));
const QRegularExpression kNameLine(QStringLiteral("s*ble advertisment name:s*([\\d\\w\\s]*)"));
const QRegularExpression kVersionLine(QStringLiteral("Firmware version (\\d+(\\.\\d+\\S+)+)"));

} // namespace

DeviceInitializer::DeviceInitializer(const DeviceInfo &info)
    : CommandRunner(info.value(DeviceInfo::PortName).toString(),
                    info.value(DeviceInfo::MacAddress).toString(), CommandList(), 0)
    , m_info(info)
{
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

void DeviceInitializer::writeLine(QSerialPort *port, const QByteArray &text)
{
    port->write(text);
    port->waitForBytesWritten(Timings::ms(Timings::ConsoleWriteWait));
}

QByteArray DeviceInitializer::readUntilSilence(QSerialPort *port)
{
    QByteArray answer = port->read(kMaxConsoleOutput + 1);
    while (answer.size() <= kMaxConsoleOutput && !isStopRequested()
           && port->waitForReadyRead(Timings::ms(Timings::ConsoleSilence)))
        answer += port->read(kMaxConsoleOutput + 1 - answer.size());
    if (answer.size() > kMaxConsoleOutput) {
        m_consoleError = ConsoleTooLongText.arg(kMaxConsoleOutput);
        answer.truncate(kMaxConsoleOutput);
    }
    return answer;
}

bool DeviceInitializer::processCommands(QSerialPort *port)
{
    port->readAll(); // whatever the device printed before we asked

    QString dumpNumber;
    QString versionNumber;
    for (int attempt = 1; attempt <= kMenuAttempts && !isStopRequested(); ++attempt) {
        writeLine(port, kMenuRequest);
        writeLine(port, kMenuRequest);
        const QString menu = QString::fromUtf8(readUntilSilence(port)).simplified();
        dumpNumber = kDumpItem.match(menu).captured(1);
        versionNumber = kVersionItem.match(menu).captured(1);
        if (!dumpNumber.isEmpty() || !m_consoleError.isEmpty())
            break;
    }
    if (!m_consoleError.isEmpty()) {
        qCWarning(lcDeviceManager, "%s",
                  qUtf8Printable(FailedToReadText.arg(m_info.value(DeviceInfo::PortName).toString(),
                                                      m_info.value(DeviceInfo::SerialNumber).toString())
                                 + QStringLiteral(": ") + m_consoleError));
        return true;
    }
    if (dumpNumber.isEmpty() || versionNumber.isEmpty()) {
        qCInfo(lcDeviceManager, "%s",
               qUtf8Printable(FailedToReadText.arg(m_info.value(DeviceInfo::PortName).toString(),
                                                   m_info.value(DeviceInfo::SerialNumber).toString())));
        return true;
    }

    resetPort(port);
    writeLine(port, dumpNumber.toLatin1() + "\r\n");
    const QByteArray dump = readUntilSilence(port);
    qDebug() << "DUMP  CONFIG DATA: \t" << dump << port->errorString();
    if (!dump.isEmpty())
        applyDump(dump, m_info);

    resetPort(port);
    writeLine(port, versionNumber.toLatin1() + "\r\n");
    const QByteArray screen = readUntilSilence(port);
    if (screen.isEmpty())
        qDebug() << "Failed to read Fw Version";
    m_info.setValue(DeviceInfo::FwVersion, screen.isEmpty() ? QString() : versionFrom(screen));
    return true;
}

void DeviceInitializer::onOpenFailed(QSerialPort *port)
{
    qCWarning(lcDeviceManager, "%s",
              qUtf8Printable(kOpenFailedText.arg(m_info.value(DeviceInfo::SerialNumber).toString(),
                                                 port->errorString())));
}

void DeviceInitializer::onProcessingDone(QSerialPort *, bool)
{
    emit deviceReady(m_info);
}
