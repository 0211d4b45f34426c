// The fault options: latency, a failing status, a canned answer, a malformed
// JSON body and a connection closed in the middle of an answer, each limited
// to a path and, with "@N", to its first N requests.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QFile>
#include <QJsonArray>
#include <QtTest>

class TestCloudSimFaults : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

    QUrl firmwareUrl()
    {
        const QJsonObject firmware = m_client->api("GET", QStringLiteral("installation?type=pc"))
                                         .json().value(QStringLiteral("data")).toArray().at(0).toObject()
                                         .value(QStringLiteral("link")).toObject();
        return QUrl(firmware.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                    + firmware.value(QStringLiteral("signature")).toString());
    }

private slots:
    void initTestCase()
    {
        const QString canned = QDir(m_sim.folder()).filePath(QStringLiteral("canned.json"));
        QFile file(canned);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"data": {"activated": true}})");
        file.close();
        QVERIFY2(m_sim.start(CloudSimProcess::sampleFixture(),
                             {QStringLiteral("--fail"), QStringLiteral("setting/platform=500"),
                              QStringLiteral("--fail"), QStringLiteral("user/*@1=503:Service busy, try later"),
                              QStringLiteral("--fail"), QStringLiteral("company/1=401"),
                              QStringLiteral("--reply"), QStringLiteral("tamo_device_usb@1=") + canned,
                              QStringLiteral("--reply"), QStringLiteral("tamo_device_usb/upgrade=404:") + canned,
                              QStringLiteral("--malformed"), QStringLiteral("company/2"),
                              QStringLiteral("--close-mid-answer"), QStringLiteral("files/*@1")}),
                 m_sim.errorOutput().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(m_client->login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
    }
    void cleanupTestCase()
    {
        delete m_client;
        QCOMPARE(m_sim.stop(), 0);
    }

    void failingStatusWithAnHtmlPage()
    {
        for (int i = 0; i < 2; ++i) {
            const HttpReply reply = m_client->api("GET", QStringLiteral("setting/platform"));
            QCOMPARE(reply.status, 500);
            QVERIFY(reply.headers.value("content-type").startsWith("text/html"));
            QVERIFY(reply.body.startsWith("<!DOCTYPE html>"));
            QVERIFY(reply.json().isEmpty());
        }
    }

    void failingStatusWithAMessageOnlyOnce()
    {
        HttpReply reply = m_client->api("GET", QStringLiteral("user/7"));
        QCOMPARE(reply.status, 503);
        QCOMPARE(reply.message(), QStringLiteral("Service busy, try later"));
        reply = m_client->api("GET", QStringLiteral("user/8"));
        QCOMPARE(reply.status, 200);
    }

    void rejectedTokenWhileRenewalsSucceed()
    {
        // A server that keeps refusing freshly issued tokens.
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(m_client->api("GET", QStringLiteral("company/1")).status, 401);
            const QByteArray kept = m_client->authToken;
            m_client->authToken.clear();
            const HttpReply renewal = m_client->api("POST", QStringLiteral("refresh_token/"),
                                                    {{QStringLiteral("token"), QString::fromUtf8(m_client->refreshToken)}});
            QCOMPARE(renewal.status, 200);
            m_client->authToken = renewal.data().value(QStringLiteral("authToken")).toString().toUtf8();
            m_client->refreshToken = renewal.data().value(QStringLiteral("refreshToken")).toString().toUtf8();
            QVERIFY(m_client->authToken != kept);
        }
    }

    void cannedAnswers()
    {
        const QJsonObject body{{QStringLiteral("uuid"), QStringLiteral("aa:bb:cc:00:00:03")},
                               {QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:03")},
                               {QStringLiteral("userId"), 7},
                               {QStringLiteral("location"), QString()},
                               {QStringLiteral("fwVersion"), QStringLiteral("1.6.0")}};
        HttpReply reply = m_client->api("POST", QStringLiteral("tamo_device_usb"), body);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, QByteArray(R"({"data": {"activated": true}})"));
        // Only the first time: then the real endpoint, which knows the device
        // is not activated.
        reply = m_client->api("POST", QStringLiteral("tamo_device_usb"), body);
        QCOMPARE(reply.data().value(QStringLiteral("activated")).toBool(), false);
        QCOMPARE(reply.data().value(QStringLiteral("location")).toString(), QStringLiteral("Store"));

        reply = m_client->api("GET", QStringLiteral("tamo_device_usb/upgrade"));
        QCOMPARE(reply.status, 404);
        QCOMPARE(reply.data().value(QStringLiteral("activated")).toBool(), true);
    }

    void malformedBody()
    {
        const HttpReply reply = m_client->api("GET", QStringLiteral("company/2"));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.error, QNetworkReply::NoError);
        // A complete answer (the transport reports no error) that holds half a
        // document.
        QVERIFY(reply.body.startsWith("{\"data\":"));
        QJsonParseError error;
        QJsonDocument::fromJson(reply.body, &error);
        QVERIFY(error.error != QJsonParseError::NoError);
    }

    void connectionClosedMidAnswer()
    {
        const QUrl url = firmwareUrl();
        const QByteArray full = CloudSimProcess::sampleFileBytes(QStringLiteral("fw.dfu"));
        HttpReply reply = HttpProbe().send("GET", url);
        QCOMPARE(reply.error, QNetworkReply::RemoteHostClosedError);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.body.size() < full.size());
        QVERIFY(full.startsWith(reply.body));
        reply = HttpProbe().send("GET", url);
        QCOMPARE(reply.error, QNetworkReply::NoError);
        QCOMPARE(reply.body, full);
    }

    void faultsAreInTheRecord()
    {
        HttpProbe probe;
        const QString origin = m_sim.baseUrl().section(QStringLiteral("/api/"), 0, 0);
        const QJsonArray requests = probe.send("GET", QUrl(origin + QStringLiteral("/_sim/record")))
                                        .json().value(QStringLiteral("record")).toObject()
                                        .value(QStringLiteral("requests")).toArray();
        QStringList faults;
        for (const QJsonValue &request : requests) {
            const QJsonObject entry = request.toObject();
            if (entry.contains(QStringLiteral("fault")))
                faults << entry.value(QStringLiteral("path")).toString() + QLatin1Char(' ')
                        + entry.value(QStringLiteral("fault")).toString();
        }
        QVERIFY2(faults.contains(QStringLiteral("setting/platform fail")), qPrintable(faults.join(QLatin1Char(','))));
        QVERIFY(faults.contains(QStringLiteral("tamo_device_usb reply")));
        QVERIFY(faults.contains(QStringLiteral("company/2 malformed")));
        QCOMPARE(faults.filter(QStringLiteral("close-mid-answer")).size(), 1);
    }

    void latencyDelaysEveryAnswer()
    {
        CloudSimProcess slow;
        QVERIFY(slow.start(CloudSimProcess::sampleFixture(), {QStringLiteral("--latency-ms"), QStringLiteral("400")}));
        HttpProbe client(slow.baseUrl());
        const HttpReply reply = client.api("GET", QStringLiteral("tamo_device_usb/upgrade"));
        QCOMPARE(reply.status, 200);
        QVERIFY2(reply.elapsedMs >= 400, qPrintable(QString::number(reply.elapsedMs)));
        QCOMPARE(slow.stop(), 0);
    }

    void badFaultOptionsStopTheStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("status missing") << QStringList{QStringLiteral("--fail"), QStringLiteral("signin/")};
        QTest::newRow("status not a number") << QStringList{QStringLiteral("--fail"), QStringLiteral("signin/=abc")};
        QTest::newRow("count not a number") << QStringList{QStringLiteral("--malformed"), QStringLiteral("signin/@x")};
        QTest::newRow("reply file missing") << QStringList{QStringLiteral("--reply"), QStringLiteral("signin/=/no/such/file")};
        QTest::newRow("negative latency") << QStringList{QStringLiteral("--latency-ms"), QStringLiteral("-5")};
    }
    void badFaultOptionsStopTheStart()
    {
        QFETCH(QStringList, arguments);
        CloudSimProcess sim;
        QVERIFY(!sim.start(CloudSimProcess::sampleFixture(), arguments));
        QCOMPARE(sim.stop(), 1);
        QVERIFY(!sim.errorOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCloudSimFaults)
#include "tst_cloudsim_faults.moc"
