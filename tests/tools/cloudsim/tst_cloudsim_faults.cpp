// The fault options: a failing status, a canned answer, a malformed JSON body
// and a connection closed in the middle of an answer, each limited to a path
// and, with "@N", to its first N requests.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestCloudSimFaults : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

private slots:
    void initTestCase()
    {
        const QString canned = QDir(m_sim.folder()).filePath("canned.json");
        QFile file(canned);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(R"({"data": {"activated": true}})") > 0);
        file.close();
        QVERIFY2(m_sim.start(CloudSimProcess::sampleFixture(),
                             {"--fail", "setting/platform=500", "--fail", "user/*@1=503:Service busy, try later",
                              "--fail", "company/1=401", "--reply", "tamo_device_usb@1=" + canned,
                              "--reply", "tamo_device_usb/upgrade=404:" + canned, "--malformed", "company/2",
                              "--close-mid-answer", "files/*@1"}),
                 m_sim.errors().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(m_client->login());
    }
    void cleanupTestCase()
    {
        delete m_client;
        QCOMPARE(m_sim.stop(), 0);
    }

    void failingStatus()
    {
        // Without a message, an HTML page as a proxy would send it, every time.
        for (int i = 0; i < 2; ++i) {
            const HttpReply reply = m_client->api("GET", "setting/platform");
            QCOMPARE(reply.status, 500);
            QVERIFY(reply.headers.value("content-type").startsWith("text/html"));
            QVERIFY(reply.body.startsWith("<!DOCTYPE html>"));
        }
        // With a message, and only for the first request.
        const HttpReply busy = m_client->api("GET", "user/7");
        QCOMPARE(busy.status, 503);
        QCOMPARE(busy.message(), QStringLiteral("Service busy, try later"));
        QCOMPARE(m_client->api("GET", "user/8").status, 200);
    }

    void rejectedTokenWhileRenewalsSucceed()
    {
        // A server that keeps refusing freshly issued tokens.
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(m_client->api("GET", "company/1").status, 401);
            const HttpReply renewal = m_client->renew(m_client->refreshToken);
            QCOMPARE(renewal.status, 200);
            m_client->refreshToken = renewal.data().value("refreshToken").toString().toUtf8();
        }
    }

    void cannedAnswers()
    {
        const QJsonObject body{{"uuid", "aa:bb:cc:00:00:03"}, {"macAddress", "aa:bb:cc:00:00:03"}, {"userId", 7},
                               {"location", ""}, {"fwVersion", "1.6.0"}};
        HttpReply reply = m_client->api("POST", "tamo_device_usb", body);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, QByteArray(R"({"data": {"activated": true}})"));
        // Only the first time: then the real endpoint, which knows the device is not activated.
        reply = m_client->api("POST", "tamo_device_usb", body);
        QCOMPARE(reply.data().value("activated").toBool(), false);
        reply = m_client->api("GET", "tamo_device_usb/upgrade");
        QCOMPARE(reply.status, 404);
        QCOMPARE(reply.data().value("activated").toBool(), true);
    }

    void malformedBody()
    {
        const HttpReply reply = m_client->api("GET", "company/2");
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.error, QNetworkReply::NoError);
        // A complete answer (the transport reports no error) that holds half a document.
        QVERIFY(reply.body.startsWith("{\"data\":"));
        QJsonParseError error;
        QJsonDocument::fromJson(reply.body, &error);
        QVERIFY(error.error != QJsonParseError::NoError);
    }

    void connectionClosedMidAnswer()
    {
        const QJsonObject installer = m_client->api("GET", "installation?type=pc").json().value("data").toArray()
                                          .at(0).toObject().value("link").toObject();
        const QByteArray full = CloudSimProcess::sampleFileBytes("fw.dfu");
        HttpReply reply = HttpProbe().fetch(HttpProbe::signedUrl(installer));
        QCOMPARE(reply.error, QNetworkReply::RemoteHostClosedError);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.body.size() < full.size() && full.startsWith(reply.body));
        reply = HttpProbe().fetch(HttpProbe::signedUrl(installer));
        QCOMPARE(reply.error, QNetworkReply::NoError);
        QCOMPARE(reply.body, full);
    }

    void faultsAreInTheRecord()
    {
        QStringList faults;
        const QJsonArray requests = HttpProbe().fetch(QUrl(m_sim.origin() + "/_sim/record")).json()
                                        .value("record").toObject().value("requests").toArray();
        for (const QJsonValue &request : requests)
            if (request.toObject().contains("fault"))
                faults << request.toObject().value("path").toString() + ' ' + request.toObject().value("fault").toString();
        QVERIFY2(faults.contains("setting/platform fail"), qPrintable(faults.join(',')));
        QVERIFY(faults.contains("tamo_device_usb reply"));
        QVERIFY(faults.contains("company/2 malformed"));
        QCOMPARE(faults.filter("close-mid-answer").size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimFaults)
#include "tst_cloudsim_faults.moc"
