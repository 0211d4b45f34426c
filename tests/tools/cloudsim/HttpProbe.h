#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPair>
#include <QString>
#include <QUrl>

// A plain HTTP client for the simulator's tests, independent of the
// application's own network code: one blocking request at a time.
struct HttpReply
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // lower-case names

    QJsonObject json() const;
    QJsonObject data() const { return json().value(QStringLiteral("data")).toObject(); }
    QString message() const { return json().value(QStringLiteral("message")).toString(); }
};

class HttpProbe
{
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    explicit HttpProbe(const QString &baseUrl = QString());

    HttpReply send(const QByteArray &method, const QUrl &url, const Headers &headers = {},
                   const QByteArray &body = QByteArray());
    // A plain GET, without token or content type, as a file download is made.
    HttpReply fetch(const QUrl &url) { return send("GET", url); }

    // A call below the API base as the client makes it: JSON content type,
    // the bearer token when one is held, and the body in indented form.
    HttpReply api(const QByteArray &method, const QString &path, const QJsonObject &body = QJsonObject(),
                  const Headers &extra = {});
    // Signs in and keeps the tokens; true on success.
    bool login(const QString &email = QStringLiteral("manager@acme.example"),
               const QString &password = QStringLiteral("s3cret-Pass"));
    // Trades a refresh token for new tokens (sent without the access token).
    HttpReply renew(const QByteArray &refreshToken);
    // The campaign event the cloud holds for a device, asked as the client asks.
    HttpReply lastEvent(const QString &mac);
    // The asset (link and signature) of a picture of an event's content.
    QJsonObject asset(int eventId, int index);

    QUrl url(const QString &path) const;
    static QByteArray indented(const QJsonObject &object);
    // A file's address: the link, "?", the signature.
    static QUrl signedUrl(const QJsonObject &asset);

    QByteArray authToken;
    QByteArray refreshToken;

private:
    QNetworkAccessManager m_manager;
    QString m_baseUrl;
};
