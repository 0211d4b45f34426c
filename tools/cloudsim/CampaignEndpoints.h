#pragma once

#include <QJsonObject>

#include "ApiExchange.h"
#include "CloudStore.h"

class ApiRouter;
struct CloudState;

// "account/event/last" (a device's current campaign event),
// "account/schedule_event/<id>/content" (its pictures and slideshows) and
// "account/content/device" (creation dates of content by uuid).
class CampaignEndpoints
{
public:
    explicit CampaignEndpoints(CloudState &state);
    void addRoutes(ApiRouter &router);

private:
    ApiAnswer lastEvent(const ApiCall &call);
    ApiAnswer eventContent(const ApiCall &call);
    ApiAnswer contentInfo(const ApiCall &call);

    QJsonObject item(const CloudStore::Content &content, const QString &origin) const;
    QJsonObject post(const CloudStore::Post &post, const QString &origin) const;

    CloudState &m_state;
};
