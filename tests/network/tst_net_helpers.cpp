// The cloud client's helpers that need no server: JSON bodies and error texts,
// tokens and their renewal schedule, file names for downloads, and the hiding
// of passwords and tokens from every text that may reach a log.
#include "DownloadFileNames.h"
#include "JWTAuthorizationManager.h"
#include "JsonHelpers.h"
#include "JsonWebToken.h"
#include "NetworkManager.h"
#include "SecretRedactor.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
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

class TestNetHelpers : public QObject
{
    Q_OBJECT

private slots:
    void bodiesAreIndentedWithSortedKeys()
    {
        QVERIFY(jsonObjectToBytes(QJsonObject()).isEmpty()); // an endpoint without fields sends no body
        QVERIFY(jsonArrayToBytes(QJsonArray()).isEmpty());
        const QByteArray bytes = jsonObjectToBytes({{"zeta", 1}, {"alpha", "a"}, {"mid", true}});
        QVERIFY(bytes.contains('\n'));
        const int a = bytes.indexOf("\"alpha\"");
        const int m = bytes.indexOf("\"mid\"");
        const int z = bytes.indexOf("\"zeta\"");
        QVERIFY(a >= 0 && a < m && m < z);
        QVERIFY(jsonArrayToBytes(QJsonArray{1, 2}).contains('\n'));
    }

    void parsingTheOtherKindGivesEmpty()
    {
        QVERIFY(bytesToJsonObject("[1,2]").isEmpty());
        QVERIFY(bytesToJsonArray("{\"a\":1}").isEmpty());
        QVERIFY(bytesToJsonObject("<html>").isEmpty());
        QCOMPARE(bytesToJsonArray("[1,2]").size(), 2);
        QCOMPARE(bytesToJsonObject("{\"a\":1}").value("a").toInt(), 1);
    }

    void errorTexts_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("array under an earlier key first") << QByteArray(R"({"b":"second","a":["first"]})")
                                                          << "first\nsecond";
        QTest::newRow("nested object, scalars skipped")
            << QByteArray(R"({"code":400,"ok":false,"n":null,"errors":{"x":"bad x","y":"bad y"}})") << "bad x\nbad y";
        QTest::newRow("non-string array element") << QByteArray(R"({"a":["one",2]})") << "one\n";
        QTest::newRow("html page") << QByteArray("<html><body>Internal Server Error</body></html>") << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("top-level array") << QByteArray("[\"x\"]") << "";
    }

    void errorTexts()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QCOMPARE(errorTextFromJson(body), text);
    }

    void answersTheParserRefuses_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("warning"); // empty: accepted
        const auto nested = [](int depth, const QByteArray &inner) {
            return QByteArray(depth - 1, '[') + "{" + inner + "}" + QByteArray(depth - 1, ']');
        };
        QTest::newRow("a name twice") << QByteArray(R"({"a":{},"b":1,"a":[]})") << "names a member twice";
        QTest::newRow("a name twice, once escaped") << QByteArray(R"({"a":1,"\u0061":2})") << "names a member twice";
        QTest::newRow("one name on two levels") << QByteArray(R"({"a":{"a":1}})") << "";
        QTest::newRow("one name in sibling objects") << QByteArray(R"([{"a":1},{"a":2}])") << "";
        QTest::newRow("as deep as the parser goes") << nested(1024, R"("a":1,"b":2)") << "";
        // Deeper than the parser goes: refused for the depth, the rest unread.
        QTest::newRow("one level deeper, a name twice") << nested(1025, R"("a":1,"a":2)") << "nested deeper";
        QTest::newRow("deeply nested brackets") << QByteArray(4 << 20, '[') << "nested deeper";
    }

    // The duplicate scan bounded by Qt's own depth: an answer of nothing but
    // brackets once held a level for each of them (15 MB took 890 MB).
    void answersTheParserRefuses()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
        const QJsonDocument document = parseJson(body);
        QCOMPARE(document.isNull(), !warning.isEmpty());
    }

    void integersKeepAllDigits()
    {
        const QJsonObject o = bytesToJsonObject(R"({"big":9007199254740993,"neg":-5,"s":"12","f":2.9,"b":true})");
        QCOMPARE(jsonInteger(o.value("big")), Q_INT64_C(9007199254740993));
        QCOMPARE(jsonIntegerText(o.value("neg")), QStringLiteral("-5"));
        QCOMPARE(jsonInteger(o.value("s")), 0); // text is no number
        QCOMPARE(jsonInteger(o.value("f")), 2);
        QCOMPARE(jsonInteger(o.value("b")), 0);
        QCOMPARE(jsonIntegerText(o.value("missing")), QStringLiteral("0"));
    }

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

    void malformedTokens()
    {
        QVERIFY(!JsonWebToken::decode("a.b").isValid());
        QVERIFY(!JsonWebToken::decode("a.b.c.d").isValid());
        QVERIFY(JsonWebToken::decode("a.b.c").payload().isEmpty());
        // Plain JSON segments are read too.
        QCOMPARE(JsonWebToken::decode(R"({"alg":"HS256"}.{"iat":5,"exp":10}.s)").numericClaim("exp"), 10);
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
        manager.setAuthToken(token({{"iat", 10}, {"exp", 70}}));
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

    void serverNamesKeepOnlyTheLastComponent_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "fw_1.5.30.dfu" << "fw_1.5.30.dfu";
        QTest::newRow("relative up") << "../../.bashrc" << ".bashrc";
        QTest::newRow("absolute") << "/etc/passwd" << "passwd";
        QTest::newRow("backslashes") << "..\\..\\Windows\\evil.exe" << "evil.exe";
        QTest::newRow("mixed") << "a/b\\c.bin" << "c.bin";
        QTest::newRow("drive") << "C:evil.dfu" << "C_evil.dfu";
        QTest::newRow("reserved characters") << "a<b>c\"d|e?f*g.dfu" << "a_b_c_d_e_f_g.dfu";
        QTest::newRow("controls") << QString("fw\n\t.dfu") << "fw__.dfu";
        QTest::newRow("empty") << "" << "firmware.dfu";
        QTest::newRow("dot") << "." << "firmware.dfu";
        QTest::newRow("dotdot") << ".." << "firmware.dfu";
        QTest::newRow("trailing slash") << "files/fw/" << "firmware.dfu";
        QTest::newRow("up at end") << "x/.." << "firmware.dfu";
        QTest::newRow("blank") << "   " << "firmware.dfu";
    }

    void serverNamesKeepOnlyTheLastComponent()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        QCOMPARE(DownloadFileNames::safeFileName(given), expected);
    }

    void uniqueNamesCountUpBeforeTheLastDot_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << "fw.v2.dfu" << QStringList() << "fw.v2.dfu";
        QTest::newRow("two taken") << "fw.v2.dfu" << QStringList{"fw.v2.dfu", "fw.v2(1).dfu"} << "fw.v2(2).dfu";
        QTest::newRow("no suffix, dot kept") << "firmware" << QStringList{"firmware."} << "firmware(1).";
    }

    void uniqueNamesCountUpBeforeTheLastDot()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &taken : existing) {
            QFile f(dir.filePath(taken));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(NetworkManager::uniqueFilePath(dir.path(), name), dir.path() + QDir::separator() + expected);
    }

    void registeredSecretsAreHidden()
    {
        SecretRedactor::addSecret(QStringLiteral("Pa55word!"));
        const QString text = SecretRedactor::redact(QStringLiteral("wrong password Pa55word! for x, Pa55word!"));
        QVERIFY(!text.contains(QStringLiteral("Pa55word!")));
        QCOMPARE(text.count(QLatin1String(SecretRedactor::kMask)), 2);
        SecretRedactor::removeSecret(QStringLiteral("Pa55word!"));
        QVERIFY(SecretRedactor::redact(QStringLiteral("Pa55word!")).contains(QStringLiteral("Pa55word!")));
    }

    void shortSecretsLeaveWordsAlone()
    {
        SecretRedactor::addSecret(QStringLiteral("x"));
        QCOMPARE(SecretRedactor::redact(QStringLiteral("User doesn't exist; password x, \"x\".")),
                 QStringLiteral("User doesn't exist; password <hidden>, \"<hidden>\"."));
        SecretRedactor::addSecret(QStringLiteral("p@ss"));
        QCOMPARE(SecretRedactor::redact(QStringLiteral("p@ss,(p@ss) p@ssword")),
                 QStringLiteral("<hidden>,(<hidden>) p@ssword"));
        SecretRedactor::removeSecret(QStringLiteral("x"));
        SecretRedactor::removeSecret(QStringLiteral("p@ss"));
    }

    void anythingShapedLikeATokenIsHidden()
    {
        const QString jwt = QStringLiteral("eyJhbGciOiJIUzI1NiJ9.eyJpYXQiOjF9.abc-_def");
        const QString text = SecretRedactor::redact(QStringLiteral("token ") + jwt + QStringLiteral(" expired"));
        QCOMPARE(text, QStringLiteral("token <hidden> expired"));
    }

    void longerSecretsWinOverTheirParts()
    {
        SecretRedactor::addSecret(QStringLiteral("abc"));
        SecretRedactor::addSecret(QStringLiteral("xxabcxx"));
        QCOMPARE(SecretRedactor::redact(QStringLiteral("1 xxabcxx 2")), QStringLiteral("1 <hidden> 2"));
        QVERIFY(SecretRedactor::redact(QString()).isEmpty());
        SecretRedactor::addSecret(QString()); // an empty secret would hide nothing and everything
        QCOMPARE(SecretRedactor::redact(QStringLiteral("plain")), QStringLiteral("plain"));
    }
};

QTEST_GUILESS_MAIN(TestNetHelpers)
#include "tst_net_helpers.moc"
