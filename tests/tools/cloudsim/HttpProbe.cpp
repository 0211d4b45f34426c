#include "HttpProbe.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QTimer>

QJsonObject HttpReply::json() const
{
    return QJsonDocument::fromJson(body).object();
}

HttpProbe::HttpProbe(const QString &baseUrl)
    : m_baseUrl(baseUrl)
{
}

QUrl HttpProbe::url(const QString &path) const
{
    return QUrl(m_baseUrl + path, QUrl::TolerantMode);
}

QByteArray HttpProbe::indented(const QJsonObject &object)
{
    return object.isEmpty() ? QByteArray() : QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QUrl HttpProbe::signedUrl(const QJsonObject &asset)
{
    return QUrl(asset.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                + asset.value(QStringLiteral("signature")).toString());
}

HttpReply HttpProbe::send(const QByteArray &method, const QUrl &url, const Headers &headers, const QByteArray &body)
{
    QNetworkRequest request(url);
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    HttpReply result;
    QNetworkReply *reply = m_manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!reply->isFinished())
        reply->abort();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->readAll();
    for (const auto &pair : reply->rawHeaderPairs())
        result.headers.insert(pair.first.toLower(), pair.second);
    delete reply;
    return result;
}

HttpReply HttpProbe::api(const QByteArray &method, const QString &path, const QJsonObject &body, const Headers &extra)
{
    Headers headers{{"Content-Type", "application/json"}};
    if (!authToken.isEmpty())
        headers.append({"Authorization", "Bearer " + authToken});
    return send(method, url(path), headers + extra, indented(body));
}

bool HttpProbe::login(const QString &email, const QString &password)
{
    const QByteArray kept = authToken;
    authToken.clear();
    const HttpReply reply = api("POST", QStringLiteral("signin/"),
                                QJsonObject{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}});
    authToken = kept;
    if (reply.status != 200)
        return false;
    authToken = reply.data().value(QStringLiteral("authToken")).toString().toUtf8();
    refreshToken = reply.data().value(QStringLiteral("refreshToken")).toString().toUtf8();
    return !authToken.isEmpty() && !refreshToken.isEmpty();
}

HttpReply HttpProbe::renew(const QByteArray &token)
{
    const QByteArray kept = authToken;
    authToken.clear();
    const HttpReply reply = api("POST", QStringLiteral("refresh_token/"), {{QStringLiteral("token"), QString::fromUtf8(token)}});
    authToken = kept;
    return reply;
}

HttpReply HttpProbe::lastEvent(const QString &mac)
{
    return api("GET",
               QStringLiteral("account/event/last?useMacAddress=true&timestamp=")
                   + QDateTime::currentDateTime().toString(Qt::ISODate),
               {}, {{"X-Mac-Address", mac.toUtf8()}, {"X-Is-Desktop-App", "true"}});
}

QJsonObject HttpProbe::asset(int eventId, int index)
{
    return api("GET", QStringLiteral("account/schedule_event/%1/content").arg(eventId))
        .data().value(QStringLiteral("tamos")).toArray().at(index).toObject()
        .value(QStringLiteral("asset")).toObject();
}
