#include "ContentInfoRequest.h"

#include "JsonHelpers.h"

#include <QJsonArray>

ContentInfoRequest::ContentInfoRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QUrl ContentInfoRequest::url() const
{
    return apiUrl(QStringLiteral("account/content/device?limit=1000&where={\"uuid\":[") + m_uuids.join(QLatin1Char(','))
                  + QStringLiteral("]}"));
}

void ContentInfoRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data);
    const QJsonArray rows = jsonObject().value(QStringLiteral("rows")).toArray();
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const QDateTime date = QDateTime::fromString(row.value(QStringLiteral("createdAt")).toString(), Qt::ISODateWithMs);
        const QString uuid = jsonIntegerText(row.value(QStringLiteral("uuid")));
        if (date.isValid() && !uuid.isEmpty())
            m_uuidsData.insert(date, uuid);
    }
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        if (row.value(QStringLiteral("type")).toString() != QLatin1String("post"))
            continue;
        QStringList list;
        const QJsonArray tamos = row.value(QStringLiteral("post")).toObject().value(QStringLiteral("tamos")).toArray();
        for (const QJsonValue &tamo : tamos)
            list.append(jsonIntegerText(tamo.toObject().value(QStringLiteral("uuid"))));
        m_ssContentUuids.insert(jsonIntegerText(row.value(QStringLiteral("uuid"))), list);
    }
    m_ssContentUuids.remove(QString());
}
