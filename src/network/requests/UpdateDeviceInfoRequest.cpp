#include "UpdateDeviceInfoRequest.h"

#include "JsonHelpers.h"

#include <QJsonArray>

namespace {

QJsonArray idArray(const QStringList &ids)
{
    QJsonArray array;
    for (const QString &id : ids)
        array.append(QJsonValue(id.toLongLong())); // 0 when not a number
    return array;
}

} // namespace

UpdateDeviceInfoRequest::UpdateDeviceInfoRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl UpdateDeviceInfoRequest::url() const
{
    return apiUrl(QStringLiteral("account/tamo_device/") + m_macAddress);
}

QByteArray UpdateDeviceInfoRequest::body() const
{
    QJsonObject object{
        {QStringLiteral("mac"), m_macAddress},
        {QStringLiteral("mobilePlatform"), QStringLiteral("usb")},
    };
    if (m_withIds) {
        object.insert(QStringLiteral("tamoId"), idArray(m_tamoIds));
        object.insert(QStringLiteral("postId"), idArray(m_postIds));
    }
    if (m_lastPairedAt.isValid())
        object.insert(QStringLiteral("lastPairedAt"), m_lastPairedAt.toString(Qt::ISODateWithMs));
    const auto optional = [&object](const char *key, const QString &value) {
        if (!value.isEmpty())
            object.insert(QLatin1String(key), value);
    };
    optional("mobilePlatformVersion", m_mobilePlatformVersion);
    optional("firmwareRevision", m_firmwareRevision);
    optional("serialNumber", m_serialNumber);
    optional("name", m_name);
    optional("hardwareRevision", m_hardwareRevision);
    if (m_erased)
        object.insert(QStringLiteral("erased"), true);
    return jsonObjectToBytes(object);
}

void UpdateDeviceInfoRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonObject d = jsonObject().value(QStringLiteral("data")).toObject();
    m_label = d.value(QStringLiteral("label")).toString();
    m_answeredName = d.value(QStringLiteral("name")).toString();
    m_answeredLastPairedAt = QDateTime::fromString(d.value(QStringLiteral("lastPairedAt")).toString(), Qt::ISODateWithMs);
    m_location = d.value(QStringLiteral("location")).toString();
    m_userId = d.value(QStringLiteral("userId")).toInt();
}
