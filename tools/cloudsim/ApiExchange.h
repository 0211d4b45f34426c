#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// One call to the API as the endpoints see it: already taken apart by the HTTP
// library, with the API base removed from the path.
struct ApiCall
{
    QString method;
    QString path;                             // below the API base, e.g. "user/7"
    QString rawTarget;                        // the request target exactly as sent
    QList<QPair<QString, QString>> query;     // decoded, in arrival order
    QHash<QString, QString> headers;          // lower-case names
    QByteArray body;
    QJsonObject json;                         // the body, for calls that carry one
    QStringList captures;                     // the route pattern's groups
    int userId = 0;                           // whose bearer token authorised the call
    QString origin;                           // scheme, host and port, for links

    QString header(const QString &name) const { return headers.value(name.toLower()); }
    bool hasHeader(const QString &name) const { return headers.contains(name.toLower()); }
    // Empty when the query holds exactly these keys, each once; else the problem.
    QString expectQueryKeys(const QStringList &keys) const;
    QString queryValue(const QString &key) const;
};

// What an endpoint answers; the HTTP front turns it into the response.
struct ApiAnswer
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    static ApiAnswer json(const QJsonObject &object, int status = 200);
    // {"data": data}
    static ApiAnswer data(const QJsonValue &data);
    // The error form the client shows: every string value is a message.
    static ApiAnswer error(int status, const QString &message);
};
