// Access tokens are real HS256 JSON Web Tokens with "iat" and "exp" that the
// server enforces; refresh tokens are single-use and rotate on every renewal.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QDateTime>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QThread>
#include <QtTest>

namespace {

const QByteArray Secret = "a test secret of reasonable length";
constexpr int Lifetime = 1;

QJsonObject segment(const QByteArray &part)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(part, QByteArray::Base64UrlEncoding)).object();
}

// Sleeps until the server's whole-second clock has passed the token's "exp".
void waitPast(qint64 exp)
{
    while (QDateTime::currentMSecsSinceEpoch() < exp * 1000 + 100)
        QThread::msleep(50);
}

} // namespace

class TestCloudSimTokens : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    QString m_secretFile;

    HttpReply renew(HttpProbe &client, const QByteArray &refreshToken)
    {
        const QByteArray kept = client.authToken;
        client.authToken.clear();
        const HttpReply reply = client.api("POST", QStringLiteral("refresh_token/"),
                                           {{QStringLiteral("token"), QString::fromUtf8(refreshToken)}});
        client.authToken = kept;
        return reply;
    }

private slots:
    void initTestCase()
    {
        m_secretFile = QDir(m_sim.folder()).filePath(QStringLiteral("secret"));
        QFile file(m_secretFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Secret);
        file.close();
        QVERIFY2(m_sim.start(CloudSimProcess::sampleFixture(),
                             {QStringLiteral("--token-lifetime"), QString::number(Lifetime),
                              QStringLiteral("--secret-file"), m_secretFile}),
                 m_sim.errorOutput().constData());
    }
    void cleanupTestCase() { QCOMPARE(m_sim.stop(), 0); }

    void accessTokenIsAnHs256Jwt()
    {
        HttpProbe client(m_sim.baseUrl());
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(client.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        const QList<QByteArray> parts = client.authToken.split('.');
        QCOMPARE(parts.size(), 3);
        const QJsonObject header = segment(parts.at(0));
        QCOMPARE(header.value(QStringLiteral("alg")).toString(), QStringLiteral("HS256"));
        QCOMPARE(header.value(QStringLiteral("typ")).toString(), QStringLiteral("JWT"));
        const QJsonObject payload = segment(parts.at(1));
        const qint64 iat = payload.value(QStringLiteral("iat")).toVariant().toLongLong();
        const qint64 exp = payload.value(QStringLiteral("exp")).toVariant().toLongLong();
        QVERIFY(iat >= before && iat <= QDateTime::currentSecsSinceEpoch());
        QCOMPARE(exp - iat, qint64(Lifetime));
        QCOMPARE(payload.value(QStringLiteral("sub")).toString(), QStringLiteral("7"));
        // The signature is the HMAC-SHA256 of "header.payload" under the secret,
        // base64url without padding.
        const QByteArray expected = QMessageAuthenticationCode::hash(parts.at(0) + '.' + parts.at(1), Secret,
                                                                     QCryptographicHash::Sha256)
                                        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        QCOMPARE(parts.at(2), expected);
        QVERIFY(!client.refreshToken.contains('.'));
    }

    void expiredTokenIsRefused()
    {
        HttpProbe client(m_sim.baseUrl());
        QVERIFY(client.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        QCOMPARE(client.api("GET", QStringLiteral("setting/platform")).status, 200);
        const qint64 exp = segment(client.authToken.split('.').at(1)).value(QStringLiteral("exp")).toVariant().toLongLong();
        waitPast(exp);
        const HttpReply reply = client.api("GET", QStringLiteral("setting/platform"));
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Token expired"));
    }

    void renewalRotatesBothTokens()
    {
        HttpProbe client(m_sim.baseUrl());
        QVERIFY(client.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        const QByteArray firstRefresh = client.refreshToken;
        const QByteArray firstAccess = client.authToken;

        HttpReply reply = renew(client, firstRefresh);
        QCOMPARE(reply.status, 200);
        const QByteArray secondAccess = reply.data().value(QStringLiteral("authToken")).toString().toUtf8();
        const QByteArray secondRefresh = reply.data().value(QStringLiteral("refreshToken")).toString().toUtf8();
        QVERIFY(!secondAccess.isEmpty() && secondAccess != firstAccess);
        QVERIFY(!secondRefresh.isEmpty() && secondRefresh != firstRefresh);
        client.authToken = secondAccess;
        QCOMPARE(client.api("GET", QStringLiteral("user/7")).status, 200);

        // A refresh token is good for one renewal only.
        reply = renew(client, firstRefresh);
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Refresh token is invalid or expired"));
        QCOMPARE(renew(client, secondRefresh).status, 200);
        QCOMPARE(renew(client, secondRefresh).status, 401);
        QCOMPARE(renew(client, QByteArray()).status, 401);
        QCOMPARE(renew(client, "not-a-token").status, 401);

        // A renewed token expires like the first: renewal after expiry works.
        const qint64 exp = segment(secondAccess.split('.').at(1)).value(QStringLiteral("exp")).toVariant().toLongLong();
        waitPast(exp);
        QCOMPARE(client.api("GET", QStringLiteral("user/7")).status, 401);
    }

    void tokensOfAnotherServerAndOldRefreshTokensAreRefused()
    {
        HttpProbe ours(m_sim.baseUrl());
        QVERIFY(ours.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));

        CloudSimProcess other;
        QVERIFY(other.start(CloudSimProcess::sampleFixture(), {QStringLiteral("--refresh-lifetime"), QStringLiteral("1")}));
        HttpProbe theirs(other.baseUrl());
        QVERIFY(theirs.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        // Same claims, other secret: the signature does not hold.
        theirs.authToken = ours.authToken;
        const HttpReply reply = theirs.api("GET", QStringLiteral("setting/platform"));
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Invalid token"));

        // A refresh token past its lifetime is refused.
        QVERIFY(theirs.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        QThread::msleep(2100);
        QCOMPARE(renew(theirs, theirs.refreshToken).status, 401);
        QCOMPARE(other.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimTokens)
#include "tst_cloudsim_tokens.moc"
