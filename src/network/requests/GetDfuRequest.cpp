#include "GetDfuRequest.h"

#include "DownloadFileNames.h"

GetDfuRequest::GetDfuRequest(QObject *parent)
    : JsonRequest(parent)
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
    const QString signature = firmware.value(QStringLiteral("signature")).toString();
    m_fileUrl = QUrl(link + QLatin1Char('?') + signature, QUrl::TolerantMode);
    const QString lastSegment = link.mid(link.lastIndexOf(QLatin1Char('/')) + 1);
    m_fileName = DownloadFileNames::safeFileName(lastSegment);
}
