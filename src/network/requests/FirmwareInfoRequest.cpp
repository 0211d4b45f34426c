#include "FirmwareInfoRequest.h"

FirmwareInfoRequest::FirmwareInfoRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl FirmwareInfoRequest::url() const
{
    return apiUrl(QStringLiteral("setting/platform"));
}

void FirmwareInfoRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    m_minFwVersion =
        jsonObject().value(QStringLiteral("data")).toObject().value(QStringLiteral("minFWVersion")).toString();
}
