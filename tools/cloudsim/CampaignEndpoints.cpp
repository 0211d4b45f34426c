#include "CampaignEndpoints.h"

#include "ApiRouter.h"
#include "CloudState.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>

namespace {

QJsonArray idArray(const QList<qint64> &ids)
{
    QJsonArray array;
    for (qint64 id : ids)
        array.append(id);
    return array;
}

QString iso(const QDateTime &dateTime)
{
    return dateTime.toUTC().toString(Qt::ISODateWithMs);
}

// How far the client's "current local date-time" may stray from ours.
constexpr qint64 TimestampToleranceSeconds = 600;

} // namespace

CampaignEndpoints::CampaignEndpoints(CloudState &state)
    : m_state(state)
{
}

void CampaignEndpoints::addRoutes(ApiRouter &router)
{
    using A = ApiRouter::Access;
    router.add(QStringLiteral("GET"), QStringLiteral("account/event/last"), A::Bearer,
               [this](ApiCall &call) { return lastEvent(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("account/schedule_event/([0-9]+)/content"), A::Bearer,
               [this](ApiCall &call) { return eventContent(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("account/content/device"), A::Bearer,
               [this](ApiCall &call) { return contentInfo(call); });
}

QJsonObject CampaignEndpoints::item(const CloudStore::Content &content, const QString &origin) const
{
    QJsonObject object{
        {QStringLiteral("id"), content.id},
        {QStringLiteral("uuid"), content.uuid},
        {QStringLiteral("name"), content.name},
        {QStringLiteral("type"), QStringLiteral("tamo")},
        {QStringLiteral("imageFormat"), content.imageFormat},
        {QStringLiteral("createdAt"), iso(content.createdAt)},
    };
    if (content.file >= 0)
        object.insert(QStringLiteral("asset"), m_state.files.signedLink(content.file, origin));
    return object;
}

QJsonObject CampaignEndpoints::post(const CloudStore::Post &post, const QString &origin) const
{
    QJsonArray tamos;
    QList<qint64> listed;
    QList<qint64> referenced = post.tamoIds;
    if (post.chargingTamoId != 0)
        referenced.append(post.chargingTamoId);
    for (qint64 id : referenced) {
        const CloudStore::Content *content = m_state.store.contentById(id);
        if (content && !listed.contains(id)) {
            listed.append(id);
            tamos.append(item(*content, origin));
        }
    }
    return QJsonObject{
        {QStringLiteral("id"), post.id},
        {QStringLiteral("uuid"), post.uuid},
        {QStringLiteral("name"), post.name},
        {QStringLiteral("type"), QStringLiteral("post")},
        {QStringLiteral("properties"), post.properties},
        {QStringLiteral("tamoId"), idArray(post.tamoIds)},
        {QStringLiteral("chargingTamoId"), post.chargingTamoId == 0 ? QJsonValue() : QJsonValue(post.chargingTamoId)},
        {QStringLiteral("tamos"), tamos},
        {QStringLiteral("createdAt"), iso(post.createdAt)},
    };
}

ApiAnswer CampaignEndpoints::lastEvent(const ApiCall &call)
{
    QString problem = call.expectQueryKeys({QStringLiteral("useMacAddress"), QStringLiteral("timestamp")});
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    if (call.queryValue(QStringLiteral("useMacAddress")) != QLatin1String("true"))
        return ApiAnswer::error(400, QStringLiteral("'useMacAddress' must be true"));
    // The client's local date-time in ISO 8601 without milliseconds or zone.
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"));
    const QString timestamp = call.queryValue(QStringLiteral("timestamp"));
    const QDateTime when = QDateTime::fromString(timestamp, Qt::ISODate);
    if (!stamp.match(timestamp).hasMatch() || !when.isValid())
        return ApiAnswer::error(400, QStringLiteral("'timestamp' must look like 2019-07-03T14:25:30"));
    if (qAbs(when.secsTo(QDateTime::currentDateTime())) > TimestampToleranceSeconds)
        return ApiAnswer::error(400, QStringLiteral("'timestamp' is not the current local date-time"));
    if (call.header(QStringLiteral("X-Is-Desktop-App")) != QLatin1String("true"))
        return ApiAnswer::error(400, QStringLiteral("Header X-Is-Desktop-App must be true"));
    const QString mac = call.header(QStringLiteral("X-Mac-Address"));
    if (mac.isEmpty() || mac != mac.toLower())
        return ApiAnswer::error(400, QStringLiteral("Header X-Mac-Address must hold the MAC address in lower case"));
    const CloudStore::Device *device = m_state.store.device(mac);
    if (!device)
        return ApiAnswer::error(404, QStringLiteral("Device not found"));

    const CloudStore::Event *event = device->activated ? m_state.store.lastEvent(mac) : nullptr;
    if (!event)
        return ApiAnswer::data(QJsonObject{{QStringLiteral("campaignEvent"), QJsonValue()}});
    return ApiAnswer::data(QJsonObject{{QStringLiteral("campaignEvent"), QJsonObject{
        {QStringLiteral("id"), event->id},
        {QStringLiteral("contentIds"), idArray(event->contentIds)},
        {QStringLiteral("defaultContentId"), event->defaultContentId},
        {QStringLiteral("isUploaded"), event->isUploaded},
        {QStringLiteral("macAddress"), event->mac},
    }}});
}

ApiAnswer CampaignEndpoints::eventContent(const ApiCall &call)
{
    if (!call.query.isEmpty())
        return ApiAnswer::error(400, QStringLiteral("This call takes no query"));
    const CloudStore::Event *event = m_state.store.event(call.captures.value(0).toLongLong());
    if (!event)
        return ApiAnswer::error(404, QStringLiteral("Scheduled event not found"));
    QJsonArray tamos;
    QJsonArray posts;
    for (qint64 uuid : event->contentIds) {
        if (const CloudStore::Content *content = m_state.store.contentByUuid(uuid))
            tamos.append(item(*content, call.origin));
        else if (const CloudStore::Post *found = m_state.store.postByUuid(uuid))
            posts.append(post(*found, call.origin));
    }
    return ApiAnswer::data(QJsonObject{
        {QStringLiteral("id"), event->id},
        {QStringLiteral("tamos"), tamos},
        {QStringLiteral("posts"), posts},
    });
}

ApiAnswer CampaignEndpoints::contentInfo(const ApiCall &call)
{
    const QString problem = call.expectQueryKeys({QStringLiteral("limit"), QStringLiteral("where")});
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    if (call.queryValue(QStringLiteral("limit")) != QLatin1String("1000"))
        return ApiAnswer::error(400, QStringLiteral("'limit' must be 1000"));
    // {"uuid":[5,12]}: decimal uuids joined by commas, no spaces.
    static const QRegularExpression filter(QStringLiteral("^\\{\"uuid\":\\[(\\d+(?:,\\d+)*)?\\]\\}$"));
    const QRegularExpressionMatch match = filter.match(call.queryValue(QStringLiteral("where")));
    if (!match.hasMatch())
        return ApiAnswer::error(400, QStringLiteral("'where' must be {\"uuid\":[<uuids joined by commas>]}"));
    QJsonArray rows;
    const QStringList uuids = match.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &text : uuids) {
        const qint64 uuid = text.toLongLong();
        if (const CloudStore::Content *content = m_state.store.contentByUuid(uuid)) {
            rows.append(QJsonObject{{QStringLiteral("uuid"), uuid},
                                    {QStringLiteral("type"), QStringLiteral("tamo")},
                                    {QStringLiteral("createdAt"), iso(content->createdAt)}});
        } else if (const CloudStore::Post *found = m_state.store.postByUuid(uuid)) {
            rows.append(QJsonObject{{QStringLiteral("uuid"), uuid},
                                    {QStringLiteral("type"), QStringLiteral("post")},
                                    {QStringLiteral("createdAt"), iso(found->createdAt)},
                                    {QStringLiteral("post"), post(*found, call.origin)}});
        }
    }
    return ApiAnswer::json(QJsonObject{{QStringLiteral("count"), rows.size()}, {QStringLiteral("rows"), rows}});
}
