// What clients did is kept in a record, shown at /_sim/record and written to
// the state file, and neither ever holds a password, a token or a signature.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QFile>
#include <QJsonArray>
#include <QtTest>

class TestCloudSimRecord : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;
    QList<QByteArray> m_secrets;

    QString origin() const { return m_sim.baseUrl().section(QStringLiteral("/api/"), 0, 0); }
    QJsonObject shown()
    {
        return HttpProbe().send("GET", QUrl(origin() + QStringLiteral("/_sim/record"))).json();
    }
    QJsonObject stateFile() const
    {
        QFile file(m_sim.statePath());
        if (!file.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    QJsonArray list(const QString &name) { return shown().value(QStringLiteral("record")).toObject().value(name).toArray(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), m_sim.errorOutput().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        HttpProbe wrong(m_sim.baseUrl());
        QVERIFY(!wrong.login(QStringLiteral("manager@acme.example"), QStringLiteral("not-the-password")));
        QVERIFY(m_client->login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        m_secrets << "s3cret-Pass" << "not-the-password" << m_client->authToken << m_client->refreshToken;

        // What a client does for one device, from registration to status.
        QCOMPARE(m_client->api("POST", QStringLiteral("tamo_device_usb"),
                               {{QStringLiteral("uuid"), QStringLiteral("aa:bb:cc:00:00:01")},
                                {QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:01")},
                                {QStringLiteral("userId"), 7},
                                {QStringLiteral("location"), QStringLiteral("Dock")},
                                {QStringLiteral("fwVersion"), QStringLiteral("1.5.30")}})
                     .status,
                 200);
        QCOMPARE(m_client->api("GET", QStringLiteral("tamo_device?where={\"mac\":\"aa:bb:cc:00:00:01\"}")).status, 200);
        const QJsonObject asset = m_client->api("GET", QStringLiteral("account/schedule_event/42/content"))
                                      .data().value(QStringLiteral("tamos")).toArray().at(0).toObject()
                                      .value(QStringLiteral("asset")).toObject();
        m_secrets << asset.value(QStringLiteral("signature")).toString().toUtf8();
        QCOMPARE(HttpProbe().send("GET", QUrl(asset.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                                              + asset.value(QStringLiteral("signature")).toString())).status,
                 200);
        QCOMPARE(m_client->api("PUT", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:01"),
                               {{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:01")},
                                {QStringLiteral("mobilePlatform"), QStringLiteral("usb")},
                                {QStringLiteral("tamoId"), QJsonArray{5001, 5003, 5003}},
                                {QStringLiteral("postId"), QJsonArray{6001}},
                                {QStringLiteral("lastPairedAt"), QStringLiteral("2024-06-01T08:00:00.000Z")}})
                     .status,
                 200);
        QCOMPARE(m_client->api("POST", QStringLiteral("scheduled_event/42/log"),
                               {{QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:01")},
                                {QStringLiteral("status"), QStringLiteral("failed")},
                                {QStringLiteral("errorMessage"), QStringLiteral("Device busy")}})
                     .status,
                 200);
        QCOMPARE(m_client->api("PUT", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:02"),
                               {{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:02")},
                                {QStringLiteral("mobilePlatform"), QStringLiteral("usb")},
                                {QStringLiteral("erased"), true},
                                {QStringLiteral("tamoId"), QJsonArray{}},
                                {QStringLiteral("postId"), QJsonArray{}}})
                     .status,
                 200);
        const QByteArray refresh = m_client->refreshToken;
        m_client->authToken.clear();
        const HttpReply renewal = m_client->api("POST", QStringLiteral("refresh_token/"),
                                                {{QStringLiteral("token"), QString::fromUtf8(refresh)}});
        QCOMPARE(renewal.status, 200);
        m_secrets << renewal.data().value(QStringLiteral("authToken")).toString().toUtf8()
                  << renewal.data().value(QStringLiteral("refreshToken")).toString().toUtf8();
        m_client->authToken = renewal.data().value(QStringLiteral("authToken")).toString().toUtf8();
    }
    void cleanupTestCase() { delete m_client; }

    void registrations()
    {
        const QJsonObject entry = list(QStringLiteral("registrations")).last().toObject();
        QCOMPARE(entry.value(QStringLiteral("macAddress")).toString(), QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(entry.value(QStringLiteral("userId")).toInt(), 7);
        QCOMPARE(entry.value(QStringLiteral("location")).toString(), QStringLiteral("Dock"));
        QCOMPARE(entry.value(QStringLiteral("fwVersion")).toString(), QStringLiteral("1.5.30"));
        QCOMPARE(entry.value(QStringLiteral("created")).toBool(), false);
        QCOMPARE(entry.value(QStringLiteral("firmwareOffered")).toBool(), true);
        QVERIFY(QDateTime::fromString(entry.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
    }

    void deviceUpdatesKeepTheirIdLists()
    {
        const QJsonArray updates = list(QStringLiteral("deviceUpdates"));
        QCOMPARE(updates.size(), 2);
        const QJsonObject first = updates.at(0).toObject();
        QCOMPARE(first.value(QStringLiteral("pathMac")).toString(), QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(first.value(QStringLiteral("tamoId")).toArray(), (QJsonArray{5001, 5003, 5003}));
        QCOMPARE(first.value(QStringLiteral("postId")).toArray(), (QJsonArray{6001}));
        QCOMPARE(first.value(QStringLiteral("lastPairedAt")).toString(), QStringLiteral("2024-06-01T08:00:00.000Z"));
        // The devices as they stand carry the reported content.
        for (const QJsonValue &device : shown().value(QStringLiteral("devices")).toArray()) {
            if (device.toObject().value(QStringLiteral("mac")).toString() == QLatin1String("aa:bb:cc:00:00:01"))
                QCOMPARE(device.toObject().value(QStringLiteral("tamoIds")).toArray(), (QJsonArray{5001, 5003, 5003}));
        }
    }

    void uploadStatusAndErasures()
    {
        const QJsonObject status = list(QStringLiteral("uploadStatus")).last().toObject();
        QCOMPARE(status.value(QStringLiteral("eventId")).toInt(), 42);
        QCOMPARE(status.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
        QCOMPARE(status.value(QStringLiteral("errorMessage")).toString(), QStringLiteral("Device busy"));
        const QJsonArray erasures = list(QStringLiteral("erasures"));
        QCOMPARE(erasures.size(), 1);
        QCOMPARE(erasures.at(0).toObject().value(QStringLiteral("mac")).toString(), QStringLiteral("aa:bb:cc:00:00:02"));
        QCOMPARE(erasures.at(0).toObject().value(QStringLiteral("wasRequested")).toBool(), true);
    }

    void loginsAndRenewals()
    {
        const QJsonArray logins = list(QStringLiteral("logins"));
        QCOMPARE(logins.size(), 2);
        QCOMPARE(logins.at(0).toObject().value(QStringLiteral("result")).toString(), QStringLiteral("wrong password"));
        QCOMPARE(logins.at(1).toObject().value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
        const QJsonArray refreshes = list(QStringLiteral("tokenRefreshes"));
        QCOMPARE(refreshes.size(), 1);
        QCOMPARE(refreshes.at(0).toObject().value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(refreshes.at(0).toObject().value(QStringLiteral("userId")).toInt(), 7);
    }

    void requestsShowWhatWasSent()
    {
        const QJsonArray requests = list(QStringLiteral("requests"));
        QJsonObject lookup;
        QJsonObject file;
        QJsonObject login;
        for (const QJsonValue &value : requests) {
            const QJsonObject entry = value.toObject();
            if (entry.value(QStringLiteral("path")).toString() == QLatin1String("tamo_device"))
                lookup = entry;
            if (entry.value(QStringLiteral("path")).toString().startsWith(QLatin1String("files/")))
                file = entry;
            if (entry.value(QStringLiteral("path")).toString() == QLatin1String("signin/"))
                login = entry;
        }
        QCOMPARE(lookup.value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
        QCOMPARE(lookup.value(QStringLiteral("status")).toInt(), 200);
        QCOMPARE(lookup.value(QStringLiteral("bearer")).toBool(), true);
        // The target as it came over the wire, percent-encoded by the sender.
        QVERIFY2(lookup.value(QStringLiteral("target")).toString().startsWith(QLatin1String("/api/v1/tamo_device?where=")),
                 qPrintable(lookup.value(QStringLiteral("target")).toString()));
        const QJsonObject headers = lookup.value(QStringLiteral("headers")).toObject();
        QCOMPARE(headers.value(QStringLiteral("Content-Type")).toString(), QStringLiteral("application/json"));
        QCOMPARE(headers.value(QStringLiteral("Authorization")).toString(), QStringLiteral("***"));
        QCOMPARE(login.value(QStringLiteral("bearer")).toBool(), false);
        QCOMPARE(login.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
        // A file link is recorded without its signature.
        QVERIFY(!file.isEmpty());
        QVERIFY(!file.value(QStringLiteral("target")).toString().contains(QLatin1Char('?')));
        // The record is read, not written.
        QCOMPARE(HttpProbe().send("POST", QUrl(origin() + QStringLiteral("/_sim/record")), {}, "x").status, 405);
    }

    void stateFileHoldsTheSameDocument()
    {
        QCOMPARE(stateFile(), shown());
        QCOMPARE(stateFile().value(QStringLiteral("events")).toArray().size(), 3);
    }

    void noSecretIsKept()
    {
        QFile file(m_sim.statePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray state = file.readAll();
        const QByteArray record = HttpProbe().send("GET", QUrl(origin() + QStringLiteral("/_sim/record"))).body;
        QCOMPARE(m_secrets.size(), 7);
        for (const QByteArray &secret : m_secrets) {
            QVERIFY(!secret.isEmpty());
            QVERIFY2(!state.contains(secret), secret.constData());
            QVERIFY2(!record.contains(secret), secret.constData());
        }
        QVERIFY(!m_sim.errorOutput().contains("s3cret-Pass"));
        QVERIFY(!m_sim.errorOutput().contains(m_client->authToken));
    }

    void stateFileIsCompleteAfterTheStop()
    {
        QCOMPARE(m_client->api("POST", QStringLiteral("scheduled_event/42/log"),
                               {{QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:01")},
                                {QStringLiteral("status"), QStringLiteral("success")},
                                {QStringLiteral("errorMessage"), QString()}})
                     .status,
                 200);
        QCOMPARE(m_sim.stop(), 0);
        const QJsonObject state = stateFile();
        const QJsonArray statuses = state.value(QStringLiteral("record")).toObject().value(QStringLiteral("uploadStatus")).toArray();
        QCOMPARE(statuses.last().toObject().value(QStringLiteral("status")).toString(), QStringLiteral("success"));
        bool uploaded = false;
        for (const QJsonValue &event : state.value(QStringLiteral("events")).toArray())
            uploaded = uploaded || (event.toObject().value(QStringLiteral("id")).toInt() == 42
                                    && event.toObject().value(QStringLiteral("isUploaded")).toBool());
        QVERIFY(uploaded);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimRecord)
#include "tst_cloudsim_record.moc"
