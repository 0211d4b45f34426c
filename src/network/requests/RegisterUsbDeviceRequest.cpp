#include "RegisterUsbDeviceRequest.h"

#include "JsonHelpers.h"

RegisterUsbDeviceRequest::RegisterUsbDeviceRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl RegisterUsbDeviceRequest::url() const
{
    return apiUrl(QStringLiteral("tamo_device_usb"));
}

QByteArray RegisterUsbDeviceRequest::body() const
{
    return jsonObjectToBytes({
        {QStringLiteral("uuid"), m_macAddress},
        {QStringLiteral("macAddress"), m_macAddress},
        {QStringLiteral("userId"), m_userId},
        {QStringLiteral("location"), m_location},
        {QStringLiteral("fwVersion"), m_fwVersion},
    });
}

void RegisterUsbDeviceRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonObject d = jsonObject().value(QStringLiteral("data")).toObject();
    if (d.isEmpty()) {
        m_activated = false;
        return;
    }
    if (d.contains(QStringLiteral("location")))
        m_location = d.value(QStringLiteral("location")).toString();
    const QJsonObject fw = d.value(QStringLiteral("firmware")).toObject();
    m_firmware = UrlData();
    m_firmware.link = fw.value(QStringLiteral("link")).toString();
    m_firmware.signature = fw.value(QStringLiteral("signature")).toString();
    m_activated = d.value(QStringLiteral("activated")).toBool();
}
