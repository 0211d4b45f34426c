#include "DeviceCampaignRequest.h"

#include "JsonHelpers.h"

#include <QJsonArray>

DeviceCampaignRequest::DeviceCampaignRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QString DeviceCampaignRequest::pathAt(const QDateTime &localTime)
{
    return QStringLiteral("account/event/last?useMacAddress=true&timestamp=")
        + localTime.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QUrl DeviceCampaignRequest::url() const
{
    return apiUrl(pathAt(QDateTime::currentDateTime()));
}

RawHeaders DeviceCampaignRequest::headers() const
{
    RawHeaders h = JsonRequest::headers();
    h.insert(QByteArrayLiteral("X-Mac-Address"), m_macAddress.toLower().toUtf8());
    h.insert(QByteArrayLiteral("X-Is-Desktop-App"), QByteArrayLiteral("true"));
    return h;
}

void DeviceCampaignRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    m_info.eventId = -1;
    m_info.macAddress = m_macAddress;
    const QJsonObject event =
        jsonObject().value(QStringLiteral("data")).toObject().value(QStringLiteral("campaignEvent")).toObject();
    if (event.isEmpty())
        return;
    const QJsonValue id = event.value(QStringLiteral("id"));
    m_info.eventId = id.isDouble() ? jsonInteger(id) : -1;
    m_info.isUploaded = event.value(QStringLiteral("isUploaded")).toBool();
    if (m_info.eventId == -1)
        return;
    m_info.defaultContentId = jsonIntegerText(event.value(QStringLiteral("defaultContentId")));
    m_info.contentIds.clear();
    const QJsonArray ids = event.value(QStringLiteral("contentIds")).toArray();
    for (const QJsonValue &value : ids)
        m_info.contentIds.append(jsonIntegerText(value));
}
