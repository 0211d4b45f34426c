// JSON helpers shared by the endpoints: bodies, error texts, integers.
#include "JsonHelpers.h"

#include <QJsonDocument>
#include <QtTest>

class TestNetJson : public QObject
{
    Q_OBJECT

private slots:
    void emptyObjectGivesNoBody()
    {
        QVERIFY(jsonObjectToBytes(QJsonObject()).isEmpty());
        QVERIFY(jsonArrayToBytes(QJsonArray()).isEmpty());
    }

    void bodiesAreIndentedWithSortedKeys()
    {
        const QByteArray bytes = jsonObjectToBytes({{"zeta", 1}, {"alpha", "a"}, {"mid", true}});
        QVERIFY(bytes.contains('\n'));
        const int a = bytes.indexOf("\"alpha\"");
        const int m = bytes.indexOf("\"mid\"");
        const int z = bytes.indexOf("\"zeta\"");
        QVERIFY(a >= 0 && a < m && m < z);
        QCOMPARE(bytesToJsonObject(bytes).value("zeta").toInt(), 1);
        QVERIFY(jsonArrayToBytes(QJsonArray{1, 2}).contains('\n'));
    }

    void parsingTheOtherKindGivesEmpty()
    {
        QVERIFY(bytesToJsonObject("[1,2]").isEmpty());
        QVERIFY(bytesToJsonArray("{\"a\":1}").isEmpty());
        QVERIFY(bytesToJsonObject("").isEmpty());
        QVERIFY(bytesToJsonObject("<html>").isEmpty());
        QCOMPARE(bytesToJsonArray("[1,2]").size(), 2);
    }

    void errorTextJoinsMessagesInKeyOrder()
    {
        // An array of one string under an earlier key, a plain string under a later one.
        QCOMPARE(errorTextFromJson(R"({"b":"second","a":["first"]})"), QStringLiteral("first\nsecond"));
    }

    void errorTextReadsNestedObjectsAndSkipsScalars()
    {
        QCOMPARE(errorTextFromJson(R"({"code":400,"ok":false,"n":null,"errors":{"x":"bad x","y":"bad y"}})"),
                 QStringLiteral("bad x\nbad y"));
        // Non-string array elements give empty strings.
        QCOMPARE(errorTextFromJson(R"({"a":["one",2]})"), QStringLiteral("one\n"));
    }

    void errorTextOfNonJsonIsEmpty()
    {
        QVERIFY(errorTextFromJson("<html><body>Internal Server Error</body></html>").isEmpty());
        QVERIFY(errorTextFromJson("").isEmpty());
        QVERIFY(errorTextFromJson("[\"x\"]").isEmpty());
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

    void headerSets()
    {
        QCOMPARE(jsonHeaders().value("Content-Type"), QByteArray("application/json"));
        QCOMPARE(jsonHeaders().size(), 1);
        QCOMPARE(multipartHeaders().value("Content-Type"), QByteArray("multipart/form-data"));
        QCOMPARE(formHeaders().value("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    }
};

QTEST_GUILESS_MAIN(TestNetJson)
#include "tst_net_json.moc"
