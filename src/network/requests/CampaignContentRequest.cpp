#include "CampaignContentRequest.h"

#include "JsonHelpers.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>

CampaignContentRequest::CampaignContentRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl CampaignContentRequest::url() const
{
    return apiUrl(QStringLiteral("account/schedule_event/") + QString::number(m_eventId) + QStringLiteral("/content"));
}

QString CampaignContentRequest::parseItem(const QJsonObject &item)
{
    const QString uuid = jsonIntegerText(item.value(QStringLiteral("uuid")));
    UrlData file;
    const QJsonObject asset = item.value(QStringLiteral("asset")).toObject();
    if (!asset.isEmpty()) {
        file.link = asset.value(QStringLiteral("link")).toString();
        file.signature = asset.value(QStringLiteral("signature")).toString();
    }
    file.format = item.value(QStringLiteral("imageFormat")).toString();
    file.type = fileTypeOfFormat(file.format);
    // Kept all the same, so that a campaign that wants it can say why it cannot be shown.
    if (file.type == UndefinedType)
        qWarning().noquote() << "undefined file type uuid =" << uuid;
    m_imagesData.insert(uuid, file);
    return uuid;
}

void CampaignContentRequest::parsePost(const QJsonObject &post)
{
    SlideShowInfo show;
    const QJsonObject properties =
        parseJson(post.value(QStringLiteral("properties")).toString().toUtf8()).object();
    show.timeInterval = properties.value(QStringLiteral("timeInterval")).toInt(10);

    QStringList ids;
    const QJsonArray tamoIds = post.value(QStringLiteral("tamoId")).toArray();
    for (const QJsonValue &id : tamoIds)
        ids.append(jsonIntegerText(id));
    const QString chargingId = jsonIntegerText(post.value(QStringLiteral("chargingTamoId")));

    const QJsonArray tamos = post.value(QStringLiteral("tamos")).toArray();
    for (const QJsonValue &value : tamos) {
        const QJsonObject tamo = value.toObject();
        if (tamo.isEmpty())
            continue;
        const QString id = jsonIntegerText(tamo.value(QStringLiteral("id")));
        const QString uuid = parseItem(tamo);
        for (QString &entry : ids) {
            if (entry == id)
                entry = uuid;
        }
        if (!chargingId.isEmpty() && chargingId == id)
            show.chargingUuid = uuid;
    }
    show.uuid = jsonIntegerText(post.value(QStringLiteral("uuid")));
    show.uuids = ids;
    m_slideShows.append(show);
}

void CampaignContentRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonObject d = jsonObject().value(QStringLiteral("data")).toObject();
    if (d.isEmpty())
        return;
    const QJsonArray tamos = d.value(QStringLiteral("tamos")).toArray();
    for (const QJsonValue &value : tamos) {
        const QJsonObject item = value.toObject();
        if (!item.isEmpty())
            parseItem(item);
    }
    const QJsonArray posts = d.value(QStringLiteral("posts")).toArray();
    for (const QJsonValue &value : posts) {
        const QJsonObject post = value.toObject();
        if (!post.isEmpty())
            parsePost(post);
    }
}
