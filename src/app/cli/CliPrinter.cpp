#include "CliPrinter.h"

#include "DeviceInfo.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject jsonOf(const CliEvent &event)
{
    return QJsonObject{
        {QStringLiteral("serial"), textOrNull(event.serial)},
        {QStringLiteral("mac"), textOrNull(event.mac)},
        {QStringLiteral("event"), event.event},
        {QStringLiteral("detail"), textOrNull(event.detail)},
        {QStringLiteral("reason"), textOrNull(event.reason)},
        {QStringLiteral("progress"), event.progress < 0 ? QJsonValue() : QJsonValue(event.progress)},
    };
}

} // namespace

CliPrinter::CliPrinter(QTextStream &out, QTextStream &err, Format format)
    : m_out(out)
    , m_err(err)
    , m_format(format)
{
}

void CliPrinter::printText(const QStringList &columns)
{
    QStringList line;
    for (QString column : columns)
        line << column.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_out << line.join(QLatin1Char('\t')) << Qt::endl;
}

void CliPrinter::print(const CliEvent &event)
{
    if (m_format == Json) {
        m_out << QJsonDocument(jsonOf(event)).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    QString lead = event.namedByMac && !event.mac.isEmpty() ? event.mac : event.serial;
    if (lead.isEmpty())
        lead = QStringLiteral("*");
    QStringList columns{lead, event.event};
    if (!event.detail.isEmpty())
        columns << event.detail;
    if (!event.reason.isEmpty())
        columns << event.reason;
    if (event.detail.isEmpty() && event.progress >= 0)
        columns << QString::number(event.progress) + QLatin1Char('%');
    printText(columns);
}

void CliPrinter::device(const DeviceInfo &device, const QString &reason)
{
    const auto text = [&device](int field) { return device.value(field).toString(); };
    if (m_format == Json) {
        QJsonObject object = jsonOf(CliEvent{text(DeviceInfo::SerialNumber), text(DeviceInfo::MacAddress),
                                             QStringLiteral("device"), QString(), reason});
        object.insert(QStringLiteral("port"), textOrNull(text(DeviceInfo::PortName)));
        object.insert(QStringLiteral("name"), textOrNull(text(DeviceInfo::Name)));
        object.insert(QStringLiteral("firmware"), textOrNull(text(DeviceInfo::FwVersion)));
        object.insert(QStringLiteral("battery"), device.value(DeviceInfo::Battery).isValid()
                                                      ? QJsonValue(device.value(DeviceInfo::Battery).toInt())
                                                      : QJsonValue());
        m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    QStringList columns;
    for (int field : {DeviceInfo::SerialNumber, DeviceInfo::PortName, DeviceInfo::MacAddress, DeviceInfo::Name,
                      DeviceInfo::FwVersion, DeviceInfo::Battery})
        columns << text(field);
    if (!reason.isEmpty())
        columns << reason;
    printText(columns);
}

void CliPrinter::error(const QString &reason)
{
    m_err << "tamo-cli: " << reason << Qt::endl;
    if (m_format == Json)
        print(CliEvent{QString(), QString(), QStringLiteral("error"), QString(), reason});
}
