#include "GetDfuRequest.h"

GetDfuRequest::GetDfuRequest(QObject *parent)
    : FirmwareLookupRequest(parent)
{
    setNeedsAuthorization(false);
}

QUrl GetDfuRequest::url() const
{
    return apiUrl(QStringLiteral("tamo_device_usb/upgrade"));
}

void GetDfuRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonObject d = jsonObject().value(QStringLiteral("data")).toObject();
    if (!d.contains(QStringLiteral("firmware")))
        return;
    const QJsonObject firmware = d.value(QStringLiteral("firmware")).toObject();
    const QString link = firmware.value(QStringLiteral("link")).toString();
    // The link's last segment names the file.
    setFile(link, firmware.value(QStringLiteral("signature")).toString(),
            link.mid(link.lastIndexOf(QLatin1Char('/')) + 1));
}
