#include "DeviceInfoRequest.h"

#include <QJsonArray>
#include <QJsonDocument>

DeviceInfoRequest::DeviceInfoRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl DeviceInfoRequest::url() const
{
    const QByteArray filter = QJsonDocument(QJsonObject{{QStringLiteral("mac"), m_macAddress}}).toJson(QJsonDocument::Compact);
    // One text for the URL parser, which percent-encodes braces and quotes on sending.
    return apiUrl(QStringLiteral("tamo_device?where=") + QString::fromUtf8(filter));
}

void DeviceInfoRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonObject root = jsonObject();
    if (root.value(QStringLiteral("count")).toInt() <= 0)
        return;
    const QJsonObject row = root.value(QStringLiteral("rows")).toArray().at(0).toObject();
    m_name = row.value(QStringLiteral("name")).toString();
    m_label = row.value(QStringLiteral("label")).toString();
    m_location = row.value(QStringLiteral("location")).toString();
    m_lastPairedAt = QDateTime::fromString(row.value(QStringLiteral("lastPairedAt")).toString(), Qt::ISODateWithMs);
    m_userId = row.value(QStringLiteral("userId")).toInt();
    m_brightness = row.value(QStringLiteral("brightness")).toInt();
    m_toErase = row.value(QStringLiteral("toErase")).toBool();
    m_firmwareRevision = row.value(QStringLiteral("firmwareRevision")).toString();
    m_hardwareRevision = row.value(QStringLiteral("hardwareRevision")).toString();
}
