// JSON helpers shared by the endpoints: bodies, error texts, integers.
#include "JsonHelpers.h"

#include <QtTest>

class TestNetJson : public QObject
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
};

QTEST_GUILESS_MAIN(TestNetJson)
#include "tst_net_json.moc"
