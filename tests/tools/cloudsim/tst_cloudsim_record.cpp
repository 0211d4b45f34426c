// What clients did is kept in a record, shown at /_sim/record and written to
// the state file, and neither ever holds a password, a token or a signature.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestCloudSimRecord : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;
    QList<QByteArray> m_secrets;

    QByteArray shownBytes() { return HttpProbe().fetch(QUrl(m_sim.origin() + "/_sim/record")).body; }
    QJsonObject shown() { return QJsonDocument::fromJson(shownBytes()).object(); }
    QJsonObject stateFile() const
    {
        QFile file(m_sim.statePath());
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    QJsonArray list(const QString &name) { return shown().value("record").toObject().value(name).toArray(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), m_sim.errors().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(!HttpProbe(m_sim.baseUrl()).login("manager@acme.example", "not-the-password"));
        QVERIFY(m_client->login());
        m_secrets << "s3cret-Pass" << "not-the-password" << m_client->authToken << m_client->refreshToken;

        // What a client does for one device, from registration to status.
        QCOMPARE(m_client->api("POST", "tamo_device_usb",
                               {{"uuid", "aa:bb:cc:00:00:01"}, {"macAddress", "aa:bb:cc:00:00:01"}, {"userId", 7},
                                {"location", "Dock"}, {"fwVersion", "1.5.30"}}).status, 200);
        QCOMPARE(m_client->api("GET", "tamo_device?where={\"mac\":\"aa:bb:cc:00:00:01\"}").status, 200);
        const QJsonObject asset = m_client->asset(42, 0);
        m_secrets << asset.value("signature").toString().toUtf8();
        QCOMPARE(HttpProbe().fetch(HttpProbe::signedUrl(asset)).status, 200);
        QCOMPARE(m_client->api("PUT", "account/tamo_device/aa:bb:cc:00:00:01",
                               {{"mac", "aa:bb:cc:00:00:01"}, {"mobilePlatform", "usb"},
                                {"tamoId", QJsonArray{5001, 5003, 5003}}, {"postId", QJsonArray{6001}},
                                {"lastPairedAt", "2024-06-01T08:00:00.000Z"}}).status, 200);
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log",
                               {{"macAddress", "aa:bb:cc:00:00:01"}, {"status", "failed"},
                                {"errorMessage", "Device busy"}}).status, 200);
        QCOMPARE(m_client->api("PUT", "account/tamo_device/aa:bb:cc:00:00:02",
                               {{"mac", "aa:bb:cc:00:00:02"}, {"mobilePlatform", "usb"}, {"erased", true},
                                {"tamoId", QJsonArray{}}, {"postId", QJsonArray{}}}).status, 200);
        const HttpReply renewal = m_client->renew(m_client->refreshToken);
        QCOMPARE(renewal.status, 200);
        m_secrets << renewal.data().value("authToken").toString().toUtf8()
                  << renewal.data().value("refreshToken").toString().toUtf8();
    }
    void cleanupTestCase() { delete m_client; }

    void registrationsUpdatesStatusesAndErasures()
    {
        const QJsonObject registration = list("registrations").last().toObject();
        QCOMPARE(registration.value("macAddress").toString(), QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(registration.value("location").toString(), QStringLiteral("Dock"));
        QCOMPARE(registration.value("created").toBool(), false);
        QCOMPARE(registration.value("firmwareOffered").toBool(), true);
        QVERIFY(QDateTime::fromString(registration.value("time").toString(), Qt::ISODateWithMs).isValid());

        const QJsonArray updates = list("deviceUpdates");
        QCOMPARE(updates.size(), 2);
        QCOMPARE(updates.at(0).toObject().value("pathMac").toString(), QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(updates.at(0).toObject().value("tamoId").toArray(), (QJsonArray{5001, 5003, 5003}));
        QCOMPARE(updates.at(0).toObject().value("postId").toArray(), (QJsonArray{6001}));
        // The devices as they stand carry the reported content.
        for (const QJsonValue &device : shown().value("devices").toArray())
            if (device.toObject().value("mac").toString() == QLatin1String("aa:bb:cc:00:00:01"))
                QCOMPARE(device.toObject().value("tamoIds").toArray(), (QJsonArray{5001, 5003, 5003}));

        const QJsonObject status = list("uploadStatus").last().toObject();
        QCOMPARE(status.value("eventId").toInt(), 42);
        QCOMPARE(status.value("status").toString(), QStringLiteral("failed"));
        QCOMPARE(status.value("errorMessage").toString(), QStringLiteral("Device busy"));
        const QJsonArray erasures = list("erasures");
        QCOMPARE(erasures.size(), 1);
        QCOMPARE(erasures.at(0).toObject().value("mac").toString(), QStringLiteral("aa:bb:cc:00:00:02"));
        QCOMPARE(erasures.at(0).toObject().value("wasRequested").toBool(), true);

        const QJsonArray logins = list("logins");
        QCOMPARE(logins.size(), 2);
        QCOMPARE(logins.at(0).toObject().value("result").toString(), QStringLiteral("wrong password"));
        QCOMPARE(logins.at(1).toObject().value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(list("tokenRefreshes").at(0).toObject().value("userId").toInt(), 7);
    }

    void requestsShowWhatWasSent()
    {
        QHash<QString, QJsonObject> last; // the last request of each path, all files as one
        for (const QJsonValue &value : list("requests")) {
            const QString path = value.toObject().value("path").toString();
            last.insert(path.startsWith(QLatin1String("files/")) ? QStringLiteral("files/") : path, value.toObject());
        }
        const QJsonObject lookup = last.value("tamo_device"), file = last.value("files/"), login = last.value("signin/");
        QCOMPARE(lookup.value("method").toString(), QStringLiteral("GET"));
        QCOMPARE(lookup.value("status").toInt(), 200);
        QCOMPARE(lookup.value("bearer").toBool(), true);
        // The target as it came over the wire, percent-encoded by the sender.
        QVERIFY(lookup.value("target").toString().startsWith(QLatin1String("/api/v1/tamo_device?where=")));
        QCOMPARE(lookup.value("headers").toObject().value("Content-Type").toString(), QStringLiteral("application/json"));
        QCOMPARE(lookup.value("headers").toObject().value("Authorization").toString(), QStringLiteral("***"));
        QCOMPARE(login.value("bearer").toBool(), false);
        // A file link is recorded without its signature.
        QVERIFY(!file.isEmpty());
        QVERIFY(!file.value("target").toString().contains(QLatin1Char('?')));
        // The record is read, not written.
        QCOMPARE(HttpProbe().send("POST", QUrl(m_sim.origin() + "/_sim/record"), {}, "x").status, 405);
    }

    void noSecretIsKept()
    {
        QCOMPARE(stateFile(), shown());
        QFile file(m_sim.statePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray state = file.readAll();
        const QByteArray record = shownBytes();
        QCOMPARE(m_secrets.size(), 7);
        for (const QByteArray &secret : m_secrets) {
            QVERIFY(!secret.isEmpty());
            QVERIFY2(!state.contains(secret) && !record.contains(secret), secret.constData());
            QVERIFY(!m_sim.errors().contains(secret));
        }
    }

    void stateFileIsCompleteAfterTheStop()
    {
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log",
                               {{"macAddress", "aa:bb:cc:00:00:01"}, {"status", "success"}, {"errorMessage", ""}}).status,
                 200);
        QCOMPARE(m_sim.stop(), 0);
        const QJsonObject state = stateFile();
        QCOMPARE(state.value("record").toObject().value("uploadStatus").toArray().last().toObject().value("status").toString(),
                 QStringLiteral("success"));
        bool uploaded = false;
        for (const QJsonValue &event : state.value("events").toArray())
            uploaded = uploaded || (event.toObject().value("id").toInt() == 42 && event.toObject().value("isUploaded").toBool());
        QVERIFY(uploaded);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimRecord)
#include "tst_cloudsim_record.moc"
