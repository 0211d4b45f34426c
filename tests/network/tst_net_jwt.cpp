// Token decoding and the renewal schedule.
#include "JWTAuthorizationManager.h"
#include "JsonWebToken.h"

#include <QJsonDocument>
#include <QtTest>

#include <limits>

namespace {

QByteArray segment(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toBase64(QByteArray::Base64UrlEncoding
                                                                    | QByteArray::OmitTrailingEquals);
}

QByteArray token(const QJsonObject &payload)
{
    return segment({{"alg", "HS256"}, {"typ", "JWT"}}) + '.' + segment(payload) + ".c2lnbmF0dXJl";
}

} // namespace

class TestNetJwt : public QObject
{
    Q_OBJECT

private slots:
    void decodesHeaderAndClaims()
    {
        const JsonWebToken jwt = JsonWebToken::decode(token({{"iat", 1000}, {"exp", 4600}, {"sub", "u"}}));
        QVERIFY(jwt.isValid());
        QCOMPARE(jwt.algorithm(), QStringLiteral("HS256"));
        QVERIFY(JsonWebToken::isKnownAlgorithm(jwt.algorithm()));
        QVERIFY(!JsonWebToken::isKnownAlgorithm(QStringLiteral("none")));
        QCOMPARE(jwt.numericClaim("iat"), 1000);
        QCOMPARE(jwt.numericClaim("exp"), 4600);
        QCOMPARE(jwt.numericClaim("sub"), 0);
        QCOMPARE(jwt.signature(), QByteArray("c2lnbmF0dXJl"));
    }

    void decodesBase64UrlCharacters()
    {
        // "?>" and "~~" encode to "-" and "_" in base64url.
        const QJsonObject payload{{"iat", 1}, {"exp", 3}, {"k", "?>?>~~~"}};
        const QByteArray seg = segment(payload);
        QVERIFY(seg.contains('-') || seg.contains('_'));
        const JsonWebToken jwt = JsonWebToken::decode(segment({{"alg", "HS512"}}) + '.' + seg + ".x");
        QCOMPARE(jwt.payload().value("k").toString(), QStringLiteral("?>?>~~~"));
        QCOMPARE(jwt.numericClaim("exp"), 3);
    }

    void wrongSegmentCountIsInvalid()
    {
        QVERIFY(!JsonWebToken::decode("a.b").isValid());
        QVERIFY(!JsonWebToken::decode("a.b.c.d").isValid());
        QVERIFY(JsonWebToken::decode("a.b.c").payload().isEmpty());
    }

    void plainJsonSegmentsAreAccepted()
    {
        const JsonWebToken jwt = JsonWebToken::decode(R"({"alg":"HS256"}.{"iat":5,"exp":10}.s)");
        QCOMPARE(jwt.numericClaim("exp"), 10);
    }

    void renewalIntervals()
    {
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 4600), 3599000);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 1002), 1000);
        // Nothing to schedule: claims missing, reversed, or a lifetime of 1 s or less.
        QCOMPARE(JWTAuthorizationManager::renewalInterval(0, 4600), -1);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 0), -1);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 1001), -1);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 1000), -1);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 900), -1);
        // Too long for a 32-bit timer: renewed at the longest interval a timer holds.
        const int max = std::numeric_limits<int>::max();
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1000, 1000 + 3 * 365 * 24 * 3600), max);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1, std::numeric_limits<qint64>::max()), max);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(std::numeric_limits<qint64>::min() + 1, 5), max);
        // The longest lifetime that still fits: (2147484 - 1) s = 2147483000 ms.
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1, 1 + 2147484), 2147483000);
        QCOMPARE(JWTAuthorizationManager::renewalInterval(1, 1 + 2147485), max);
    }

    void storingATokenSchedulesItsRenewal()
    {
        JWTAuthorizationManager manager;
        manager.setAuthToken(token({{"iat", 1000}, {"exp", 4600}}));
        QVERIFY(manager.isRenewalScheduled());
        QCOMPARE(manager.scheduledInterval(), 3599000);
        QVERIFY(!manager.hasTokens()); // no refresh token yet
        manager.setRefreshToken("r");
        QVERIFY(manager.hasTokens());

        manager.setAuthToken(token({{"iat", 1000}})); // no "exp": renewed on a 401 only
        QVERIFY(!manager.isRenewalScheduled());
        manager.setAuthToken(token({{"iat", 1000}, {"exp", 1001}}));
        QVERIFY(!manager.isRenewalScheduled());
        manager.setAuthToken("not a token");
        QVERIFY(!manager.isRenewalScheduled());
        QCOMPARE(manager.authToken(), QByteArray("not a token"));
    }

    void clearingTokensStopsRenewals()
    {
        JWTAuthorizationManager manager;
        manager.setAuthToken(token({{"iat", 10}, {"exp", 70}}));
        manager.setRefreshToken("r");
        manager.clearTokens();
        QVERIFY(!manager.hasTokens());
        QVERIFY(!manager.isRenewalScheduled());
    }

    void bearerHeaderFromTheProcessWideManager()
    {
        {
            JWTAuthorizationManager manager;
            JWTAuthorizationManager::setInstance(&manager);
            manager.setAuthToken("abc.def.ghi");
            RawHeaders headers{{"Authorization", "old"}, {"Content-Type", "application/json"}};
            JWTAuthorizationManager::instance()->addAuthorizationHeader(headers);
            QCOMPARE(headers, (RawHeaders{{"Authorization", "Bearer abc.def.ghi"}, {"Content-Type", "application/json"}}));
        }
        // Requests must never reach a manager that is gone.
        QVERIFY(JWTAuthorizationManager::instance() == nullptr);
    }
};

QTEST_GUILESS_MAIN(TestNetJwt)
#include "tst_net_jwt.moc"
