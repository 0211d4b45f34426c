// Access tokens are real HS256 JSON Web Tokens with "iat" and "exp" that the
// server enforces; refresh tokens are single-use and rotate on every renewal.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QThread>
#include <QtTest>

namespace {

const QByteArray Secret = "a test secret of reasonable length";

QJsonObject segment(const QByteArray &token, int index)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(token.split('.').value(index), QByteArray::Base64UrlEncoding))
        .object();
}
qint64 expiry(const QByteArray &token)
{
    return segment(token, 1).value(QStringLiteral("exp")).toVariant().toLongLong();
}

} // namespace

class TestCloudSimTokens : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;

private slots:
    void initTestCase()
    {
        const QString secretFile = QDir(m_sim.folder()).filePath(QStringLiteral("secret"));
        QFile file(secretFile);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Secret) == Secret.size());
        file.close();
        QVERIFY2(m_sim.start(CloudSimProcess::sampleFixture(), {"--token-lifetime", "1", "--secret-file", secretFile}),
                 m_sim.errors().constData());
    }
    void cleanupTestCase() { QCOMPARE(m_sim.stop(), 0); }

    void accessTokenIsAnHs256Jwt()
    {
        HttpProbe client(m_sim.baseUrl());
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(client.login());
        const QList<QByteArray> parts = client.authToken.split('.');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(segment(client.authToken, 0), (QJsonObject{{"alg", "HS256"}, {"typ", "JWT"}}));
        const QJsonObject payload = segment(client.authToken, 1);
        const qint64 iat = payload.value("iat").toVariant().toLongLong();
        QVERIFY(iat >= before && iat <= QDateTime::currentSecsSinceEpoch());
        QCOMPARE(expiry(client.authToken) - iat, qint64(1));
        QCOMPARE(payload.value("sub").toString(), QStringLiteral("7"));
        // The signature is the HMAC-SHA256 of "header.payload" under the secret,
        // base64url without padding.
        QCOMPARE(parts.at(2), QMessageAuthenticationCode::hash(parts.at(0) + '.' + parts.at(1), Secret, QCryptographicHash::Sha256)
                                  .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        QVERIFY(!client.refreshToken.contains('.'));
    }

    void renewalRotatesBothTokensOnce()
    {
        HttpProbe client(m_sim.baseUrl());
        QVERIFY(client.login());
        const QByteArray firstRefresh = client.refreshToken;
        HttpReply reply = client.renew(firstRefresh);
        QCOMPARE(reply.status, 200);
        const QByteArray secondAccess = reply.data().value("authToken").toString().toUtf8();
        const QByteArray secondRefresh = reply.data().value("refreshToken").toString().toUtf8();
        QVERIFY(!secondAccess.isEmpty() && secondAccess != client.authToken);
        QVERIFY(!secondRefresh.isEmpty() && secondRefresh != firstRefresh);
        client.authToken = secondAccess;
        QCOMPARE(client.api("GET", "user/7").status, 200);
        // A refresh token is good for one renewal only.
        reply = client.renew(firstRefresh);
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Refresh token is invalid or expired"));
        QCOMPARE(client.renew(secondRefresh).status, 200);
        QCOMPARE(client.renew(secondRefresh).status, 401);
        QCOMPARE(client.renew(QByteArray()).status, 401);
        QCOMPARE(client.renew("not-a-token").status, 401);
    }

    void tokensExpireAndOtherServersTokensAreRefused()
    {
        HttpProbe ours(m_sim.baseUrl());
        QVERIFY(ours.login());
        QCOMPARE(ours.api("GET", "setting/platform").status, 200);
        const QByteArray renewed = ours.renew(ours.refreshToken).data().value("authToken").toString().toUtf8();

        CloudSimProcess other;
        QVERIFY(other.start(CloudSimProcess::sampleFixture(), {"--refresh-lifetime", "1"}));
        HttpProbe theirs(other.baseUrl());
        QVERIFY(theirs.login());
        const qint64 refreshExpiry = QDateTime::currentSecsSinceEpoch() + 1;
        // Same claims, other secret: the signature does not hold.
        HttpProbe forged(other.baseUrl());
        forged.authToken = ours.authToken;
        HttpReply reply = forged.api("GET", "setting/platform");
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Invalid token"));

        // Past every expiry: the first token, the renewed one and the other
        // server's refresh token are all refused.
        const qint64 until = qMax(qMax(expiry(ours.authToken), expiry(renewed)), refreshExpiry);
        while (QDateTime::currentMSecsSinceEpoch() < until * 1000 + 100)
            QThread::msleep(50);
        reply = ours.api("GET", "setting/platform");
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Token expired"));
        ours.authToken = renewed;
        QCOMPARE(ours.api("GET", "user/7").status, 401);
        QCOMPARE(theirs.renew(theirs.refreshToken).status, 401);
        QCOMPARE(other.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimTokens)
#include "tst_cloudsim_tokens.moc"
