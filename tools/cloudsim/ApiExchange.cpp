#include "ApiExchange.h"

#include <QJsonDocument>
#include <QSet>

QString ApiCall::expectQueryKeys(const QStringList &keys) const
{
    QSet<QString> seen;
    for (const auto &item : query) {
        if (!keys.contains(item.first))
            return QStringLiteral("Unexpected query parameter '%1'").arg(item.first);
        if (seen.contains(item.first))
            return QStringLiteral("Query parameter '%1' given twice").arg(item.first);
        seen.insert(item.first);
    }
    for (const QString &key : keys) {
        if (!seen.contains(key))
            return QStringLiteral("Missing query parameter '%1'").arg(key);
    }
    return QString();
}

QString ApiCall::queryValue(const QString &key) const
{
    for (const auto &item : query) {
        if (item.first == key)
            return item.second;
    }
    return QString();
}

ApiAnswer ApiAnswer::json(const QJsonObject &object, int status)
{
    ApiAnswer answer;
    answer.status = status;
    answer.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return answer;
}

ApiAnswer ApiAnswer::data(const QJsonValue &data)
{
    return json(QJsonObject{{QStringLiteral("data"), data}});
}

ApiAnswer ApiAnswer::error(int status, const QString &message)
{
    return json(QJsonObject{{QStringLiteral("message"), message}, {QStringLiteral("statusCode"), status}},
                status);
}
