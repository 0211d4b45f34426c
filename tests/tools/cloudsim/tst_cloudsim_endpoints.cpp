// Each endpoint answers with the shape the client reads, from the fixture's
// data, and client calls change the simulated cloud as a real one would.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QJsonArray>
#include <QtTest>

class TestCloudSimEndpoints : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

    HttpReply lastEvent(const QString &mac)
    {
        return m_client->api("GET",
                             QStringLiteral("account/event/last?useMacAddress=true&timestamp=")
                                 + QDateTime::currentDateTime().toString(Qt::ISODate),
                             {}, {{"X-Mac-Address", mac.toUtf8()}, {"X-Is-Desktop-App", "true"}});
    }
    HttpReply lookUp(const QString &mac)
    {
        return m_client->api("GET", QStringLiteral("tamo_device?where={\"mac\":\"%1\"}").arg(mac));
    }
    static QJsonObject registration(const QString &mac, const QString &fw, int userId = 7)
    {
        return {{QStringLiteral("uuid"), mac},
                {QStringLiteral("macAddress"), mac},
                {QStringLiteral("userId"), userId},
                {QStringLiteral("location"), QStringLiteral("Default place")},
                {QStringLiteral("fwVersion"), fw}};
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), m_sim.errorOutput().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(m_client->login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
    }
    void cleanupTestCase()
    {
        delete m_client;
        QCOMPARE(m_sim.stop(), 0);
    }

    void signInAnswersTokensAndTheUser()
    {
        HttpProbe anonymous(m_sim.baseUrl());
        const HttpReply reply = anonymous.api("POST", QStringLiteral("signin/"),
                                              {{QStringLiteral("email"), QStringLiteral("MANAGER@acme.example")},
                                               {QStringLiteral("password"), QStringLiteral("s3cret-Pass")}});
        QCOMPARE(reply.status, 200);
        const QJsonObject data = reply.data();
        QCOMPARE(data.value(QStringLiteral("authToken")).toString().count(QLatin1Char('.')), 2);
        QVERIFY(!data.value(QStringLiteral("refreshToken")).toString().isEmpty());
        QCOMPARE(data.value(QStringLiteral("firstName")).toString(), QStringLiteral("Mia"));
        QCOMPARE(data.value(QStringLiteral("lastName")).toString(), QStringLiteral("Stone"));
        QCOMPARE(data.value(QStringLiteral("fullname")).toString(), QStringLiteral("Mia Stone"));
        QCOMPARE(data.value(QStringLiteral("email")).toString(), QStringLiteral("manager@acme.example"));
        QCOMPARE(data.value(QStringLiteral("role")).toString(), QStringLiteral("company_manager"));
        QCOMPARE(data.value(QStringLiteral("id")).toInt(), 7);
        QCOMPARE(data.value(QStringLiteral("companyId")).toInt(), 1);
        const QDateTime dob = QDateTime::fromString(data.value(QStringLiteral("dob")).toString(), Qt::ISODateWithMs);
        QCOMPARE(dob.date(), QDate(1990, 5, 17));
        const QJsonObject logo = data.value(QStringLiteral("companyLogo")).toObject();
        QVERIFY(logo.value(QStringLiteral("link")).toString().endsWith(QLatin1String("/logo.png")));
        QVERIFY(!logo.value(QStringLiteral("signature")).toString().isEmpty());
        // The logo link works as given: link, "?", signature, no token.
        const HttpReply file = anonymous.send(
            "GET", QUrl(logo.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                        + logo.value(QStringLiteral("signature")).toString()));
        QCOMPARE(file.status, 200);
        QCOMPARE(file.body, CloudSimProcess::sampleFileBytes(QStringLiteral("logo.png")));
    }

    void signInRefusalsUseTheCloudsWording()
    {
        HttpProbe anonymous(m_sim.baseUrl());
        HttpReply reply = anonymous.api("POST", QStringLiteral("signin/"),
                                        {{QStringLiteral("email"), QStringLiteral("nobody@acme.example")},
                                         {QStringLiteral("password"), QStringLiteral("x")}});
        QCOMPARE(reply.status, 404);
        QCOMPARE(reply.message(), QStringLiteral("User with email nobody@acme.example doesn't exist."));
        reply = anonymous.api("POST", QStringLiteral("signin/"),
                              {{QStringLiteral("email"), QStringLiteral("manager@acme.example")},
                               {QStringLiteral("password"), QStringLiteral("wrong")}});
        QCOMPARE(reply.status, 400);
        QCOMPARE(reply.message(), QStringLiteral("Email or password is wrong."));
        // Every string of an error answer is shown to the operator: there is
        // only the message.
        QStringList strings;
        for (const QJsonValue &value : reply.json())
            if (value.isString())
                strings << value.toString();
        QCOMPARE(strings, QStringList{QStringLiteral("Email or password is wrong.")});
        // Roles other than manager and admin still sign in; the application decides.
        QVERIFY(anonymous.login(QStringLiteral("worker@acme.example"), QStringLiteral("w0rker-Pass")));
    }

    void userAndCompany()
    {
        HttpReply reply = m_client->api("GET", QStringLiteral("user/8"));
        QCOMPARE(reply.status, 200);
        QJsonObject data = reply.data();
        QCOMPARE(data.value(QStringLiteral("username")).toString(), QStringLiteral("worker"));
        QCOMPARE(data.value(QStringLiteral("firstName")).toString(), QStringLiteral("Will"));
        QCOMPARE(data.value(QStringLiteral("role")).toString(), QStringLiteral("user"));
        QVERIFY(data.value(QStringLiteral("dob")).isNull());
        QVERIFY(!data.contains(QStringLiteral("password")));
        QCOMPARE(m_client->api("GET", QStringLiteral("user/99")).status, 404);

        reply = m_client->api("GET", QStringLiteral("company/1"));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.data().value(QStringLiteral("title")).toString(), QStringLiteral("Acme Displays"));
        QCOMPARE(m_client->api("GET", QStringLiteral("company/2")).data().value(QStringLiteral("title")).toString(),
                 QStringLiteral("No Logo Ltd"));
        QCOMPARE(m_client->api("GET", QStringLiteral("company/3")).status, 404);
    }

    void platformSetting()
    {
        const HttpReply reply = m_client->api("GET", QStringLiteral("setting/platform"));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.data().value(QStringLiteral("minFWVersion")).toString(), QStringLiteral("1.5.28"));
    }

    void registrationOfAKnownDevice()
    {
        // An up-to-date device: activated, its cloud location, no firmware offer.
        HttpReply reply = m_client->api("POST", QStringLiteral("tamo_device_usb"),
                                        registration(QStringLiteral("aa:bb:cc:00:00:01"), QStringLiteral("1.6.0")));
        QCOMPARE(reply.status, 200);
        QJsonObject data = reply.data();
        QCOMPARE(data.value(QStringLiteral("activated")).toBool(), true);
        QCOMPARE(data.value(QStringLiteral("location")).toString(), QStringLiteral("Hall"));
        QVERIFY(!data.contains(QStringLiteral("firmware")));

        // An older firmware gets the upgrade offer as a signed link.
        reply = m_client->api("POST", QStringLiteral("tamo_device_usb"),
                              registration(QStringLiteral("aa:bb:cc:00:00:01"), QStringLiteral("1.5.9")));
        const QJsonObject firmware = reply.data().value(QStringLiteral("firmware")).toObject();
        QVERIFY(firmware.value(QStringLiteral("link")).toString().endsWith(QLatin1String("/fw.dfu")));
        const HttpReply file = HttpProbe().send(
            "GET", QUrl(firmware.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                        + firmware.value(QStringLiteral("signature")).toString()));
        QCOMPARE(file.body, CloudSimProcess::sampleFileBytes(QStringLiteral("fw.dfu")));

        // Not activated: the answer says so.
        reply = m_client->api("POST", QStringLiteral("tamo_device_usb"),
                              registration(QStringLiteral("aa:bb:cc:00:00:03"), QStringLiteral("1.6.0")));
        QCOMPARE(reply.data().value(QStringLiteral("activated")).toBool(), false);
        QCOMPARE(reply.data().value(QStringLiteral("location")).toString(), QStringLiteral("Store"));
    }

    void registrationOfANewDeviceCreatesIt()
    {
        QCOMPARE(lookUp(QStringLiteral("aa:bb:cc:00:00:77")).json().value(QStringLiteral("count")).toInt(), 0);
        const HttpReply reply = m_client->api("POST", QStringLiteral("tamo_device_usb"),
                                              registration(QStringLiteral("aa:bb:cc:00:00:77"), QStringLiteral("1.6.0")));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.data().value(QStringLiteral("activated")).toBool(), false);
        QCOMPARE(reply.data().value(QStringLiteral("location")).toString(), QStringLiteral("Default place"));
        const QJsonObject found = lookUp(QStringLiteral("aa:bb:cc:00:00:77")).json();
        QCOMPARE(found.value(QStringLiteral("count")).toInt(), 1);
        QCOMPARE(found.value(QStringLiteral("rows")).toArray().at(0).toObject().value(QStringLiteral("activated")).toBool(),
                 false);
    }

    void deviceLookup()
    {
        HttpReply reply = lookUp(QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(reply.status, 200);
        QJsonObject root = reply.json();
        QVERIFY(!root.contains(QStringLiteral("data")));
        QCOMPARE(root.value(QStringLiteral("count")).toInt(), 1);
        const QJsonObject row = root.value(QStringLiteral("rows")).toArray().at(0).toObject();
        QCOMPARE(row.value(QStringLiteral("name")).toString(), QStringLiteral("TAMO-01"));
        QCOMPARE(row.value(QStringLiteral("label")).toString(), QStringLiteral("Front"));
        QCOMPARE(row.value(QStringLiteral("location")).toString(), QStringLiteral("Hall"));
        QCOMPARE(row.value(QStringLiteral("lastPairedAt")).toString(), QStringLiteral("2024-05-01T10:00:00.000Z"));
        QCOMPARE(row.value(QStringLiteral("userId")).toInt(), 8);
        QCOMPARE(row.value(QStringLiteral("brightness")).toInt(), 70);
        QCOMPARE(row.value(QStringLiteral("toErase")).toBool(), false);
        QCOMPARE(row.value(QStringLiteral("firmwareRevision")).toString(), QStringLiteral("1.5.30"));
        QCOMPARE(row.value(QStringLiteral("hardwareRevision")).toString(), QStringLiteral("P1"));

        // The fixture wrote this MAC in upper case; the cloud matches either.
        root = lookUp(QStringLiteral("aa:bb:cc:00:00:02")).json();
        QCOMPARE(root.value(QStringLiteral("count")).toInt(), 1);
        const QJsonObject second = root.value(QStringLiteral("rows")).toArray().at(0).toObject();
        QCOMPARE(second.value(QStringLiteral("toErase")).toBool(), true);
        QVERIFY(second.value(QStringLiteral("userId")).isNull());
        QVERIFY(second.value(QStringLiteral("lastPairedAt")).isNull());

        root = lookUp(QStringLiteral("aa:bb:cc:00:00:99")).json();
        QCOMPARE(root.value(QStringLiteral("count")).toInt(), 0);
        QCOMPARE(root.value(QStringLiteral("rows")).toArray().size(), 0);
    }

    void updateChangesTheDeviceAndAnswersIt()
    {
        const QJsonObject body{{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:01")},
                               {QStringLiteral("mobilePlatform"), QStringLiteral("usb")},
                               {QStringLiteral("name"), QStringLiteral("Renamed")},
                               {QStringLiteral("firmwareRevision"), QStringLiteral("1.5.31")},
                               {QStringLiteral("lastPairedAt"), QStringLiteral("2024-06-01T12:30:00.250Z")},
                               {QStringLiteral("tamoId"), QJsonArray{5001, 5003}},
                               {QStringLiteral("postId"), QJsonArray{6001}}};
        const HttpReply reply = m_client->api("PUT", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:01"), body);
        QCOMPARE(reply.status, 200);
        const QJsonObject data = reply.data();
        QCOMPARE(data.value(QStringLiteral("name")).toString(), QStringLiteral("Renamed"));
        QCOMPARE(data.value(QStringLiteral("label")).toString(), QStringLiteral("Front"));
        QCOMPARE(data.value(QStringLiteral("location")).toString(), QStringLiteral("Hall"));
        QCOMPARE(data.value(QStringLiteral("userId")).toInt(), 8);
        QCOMPARE(data.value(QStringLiteral("lastPairedAt")).toString(), QStringLiteral("2024-06-01T12:30:00.250Z"));
        const QJsonObject row = lookUp(QStringLiteral("aa:bb:cc:00:00:01"))
                                    .json().value(QStringLiteral("rows")).toArray().at(0).toObject();
        QCOMPARE(row.value(QStringLiteral("firmwareRevision")).toString(), QStringLiteral("1.5.31"));
        QCOMPARE(row.value(QStringLiteral("name")).toString(), QStringLiteral("Renamed"));

        QCOMPARE(m_client->api("PUT", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:99"),
                               {{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:99")},
                                {QStringLiteral("mobilePlatform"), QStringLiteral("usb")}})
                     .status,
                 404);
    }

    void eraseConfirmationClearsTheRequest()
    {
        const QJsonObject body{{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:02")},
                               {QStringLiteral("mobilePlatform"), QStringLiteral("usb")},
                               {QStringLiteral("erased"), true},
                               {QStringLiteral("tamoId"), QJsonArray{}},
                               {QStringLiteral("postId"), QJsonArray{}}};
        QCOMPARE(m_client->api("PUT", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:02"), body).status, 200);
        const QJsonObject row = lookUp(QStringLiteral("aa:bb:cc:00:00:02"))
                                    .json().value(QStringLiteral("rows")).toArray().at(0).toObject();
        QCOMPARE(row.value(QStringLiteral("toErase")).toBool(), false);
    }

    void campaignEventAndUploadStatus()
    {
        HttpReply reply = lastEvent(QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(reply.status, 200);
        QJsonObject event = reply.data().value(QStringLiteral("campaignEvent")).toObject();
        // The newest event of the device is its current one.
        QCOMPARE(event.value(QStringLiteral("id")).toInt(), 42);
        QCOMPARE(event.value(QStringLiteral("contentIds")).toArray(), (QJsonArray{5001, 5003, 6001, 5005}));
        QCOMPARE(event.value(QStringLiteral("defaultContentId")).toInt(), 6001);
        QCOMPARE(event.value(QStringLiteral("isUploaded")).toBool(), false);

        const QJsonObject status{{QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:01")},
                                 {QStringLiteral("status"), QStringLiteral("in progress")},
                                 {QStringLiteral("errorMessage"), QString()}};
        QCOMPARE(m_client->api("POST", QStringLiteral("scheduled_event/42/log"), status).status, 200);
        QCOMPARE(lastEvent(QStringLiteral("aa:bb:cc:00:00:01")).data().value(QStringLiteral("campaignEvent"))
                     .toObject().value(QStringLiteral("isUploaded")).toBool(),
                 false);
        QJsonObject success = status;
        success.insert(QStringLiteral("status"), QStringLiteral("success"));
        QCOMPARE(m_client->api("POST", QStringLiteral("scheduled_event/42/log"), success).status, 200);
        event = lastEvent(QStringLiteral("aa:bb:cc:00:00:01")).data().value(QStringLiteral("campaignEvent")).toObject();
        QCOMPARE(event.value(QStringLiteral("isUploaded")).toBool(), true);
        QCOMPARE(m_client->api("POST", QStringLiteral("scheduled_event/999/log"), success).status, 404);

        // A device without an event, and one that is not activated, have none.
        reply = lastEvent(QStringLiteral("aa:bb:cc:00:00:02"));
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.data().contains(QStringLiteral("campaignEvent")));
        QVERIFY(reply.data().value(QStringLiteral("campaignEvent")).toObject().isEmpty());
        QVERIFY(lastEvent(QStringLiteral("aa:bb:cc:00:00:03")).data().value(QStringLiteral("campaignEvent"))
                    .toObject().isEmpty());
    }

    void eventContent()
    {
        const HttpReply reply = m_client->api("GET", QStringLiteral("account/schedule_event/42/content"));
        QCOMPARE(reply.status, 200);
        const QJsonObject data = reply.data();
        const QJsonArray tamos = data.value(QStringLiteral("tamos")).toArray();
        QCOMPARE(tamos.size(), 3);
        const QJsonObject first = tamos.at(0).toObject();
        QCOMPARE(first.value(QStringLiteral("uuid")).toInt(), 5001);
        QCOMPARE(first.value(QStringLiteral("imageFormat")).toString(), QStringLiteral("image/jpeg"));
        const QJsonObject asset = first.value(QStringLiteral("asset")).toObject();
        QVERIFY(asset.value(QStringLiteral("link")).toString().startsWith(m_sim.baseUrl().section(QStringLiteral("/api/"), 0, 0)));
        QVERIFY(!asset.value(QStringLiteral("signature")).toString().isEmpty());
        QCOMPARE(tamos.at(1).toObject().value(QStringLiteral("imageFormat")).toString(), QStringLiteral("image/gif"));
        QCOMPARE(tamos.at(2).toObject().value(QStringLiteral("imageFormat")).toString(), QStringLiteral("image/bmp"));

        const QJsonArray posts = data.value(QStringLiteral("posts")).toArray();
        QCOMPARE(posts.size(), 1);
        const QJsonObject post = posts.at(0).toObject();
        QCOMPARE(post.value(QStringLiteral("uuid")).toInt(), 6001);
        // "properties" is a JSON text inside the JSON answer.
        QVERIFY(post.value(QStringLiteral("properties")).isString());
        QCOMPARE(QJsonDocument::fromJson(post.value(QStringLiteral("properties")).toString().toUtf8())
                     .object().value(QStringLiteral("timeInterval")).toInt(),
                 5);
        QCOMPARE(post.value(QStringLiteral("tamoId")).toArray(), (QJsonArray{101, 102, 101}));
        QCOMPARE(post.value(QStringLiteral("chargingTamoId")).toInt(), 104);
        QStringList pictures;
        for (const QJsonValue &tamo : post.value(QStringLiteral("tamos")).toArray())
            pictures << QStringLiteral("%1/%2").arg(tamo.toObject().value(QStringLiteral("id")).toInt())
                            .arg(tamo.toObject().value(QStringLiteral("uuid")).toInt());
        QCOMPARE(pictures, (QStringList{QStringLiteral("101/5001"), QStringLiteral("102/5002"), QStringLiteral("104/5004")}));

        QCOMPARE(m_client->api("GET", QStringLiteral("account/schedule_event/77/content")).status, 404);
    }

    void contentInfo()
    {
        const HttpReply reply = m_client->api("GET", QStringLiteral("account/content/device?limit=1000&where={\"uuid\":[5001,6001,424242]}"));
        QCOMPARE(reply.status, 200);
        const QJsonObject root = reply.json();
        QCOMPARE(root.value(QStringLiteral("count")).toInt(), 2);
        const QJsonArray rows = root.value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.at(0).toObject().value(QStringLiteral("uuid")).toInt(), 5001);
        QCOMPARE(rows.at(0).toObject().value(QStringLiteral("createdAt")).toString(),
                 QStringLiteral("2024-01-02T03:04:05.006Z"));
        const QJsonObject post = rows.at(1).toObject();
        QCOMPARE(post.value(QStringLiteral("type")).toString(), QStringLiteral("post"));
        QCOMPARE(post.value(QStringLiteral("createdAt")).toString(), QStringLiteral("2024-02-03T04:05:06.007Z"));
        QCOMPARE(post.value(QStringLiteral("post")).toObject().value(QStringLiteral("tamos")).toArray().size(), 3);
    }

    void firmwareFiles()
    {
        HttpProbe anonymous(m_sim.baseUrl());
        HttpReply reply = anonymous.api("GET", QStringLiteral("tamo_device_usb/upgrade"));
        QCOMPARE(reply.status, 200);
        const QJsonObject firmware = reply.data().value(QStringLiteral("firmware")).toObject();
        QVERIFY(firmware.value(QStringLiteral("link")).toString().endsWith(QLatin1String("/fw.dfu")));
        QVERIFY(!firmware.value(QStringLiteral("signature")).toString().isEmpty());

        reply = m_client->api("GET", QStringLiteral("installation?type=dfu"));
        QCOMPARE(reply.status, 200);
        const QJsonArray list = reply.json().value(QStringLiteral("data")).toArray();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).toObject().value(QStringLiteral("active")).toBool(), false);
        QCOMPARE(list.at(1).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("../evil name.dfu"));
        const QJsonObject link = list.at(1).toObject().value(QStringLiteral("link")).toObject();
        QVERIFY(link.value(QStringLiteral("link")).toString().endsWith(QLatin1String("/..")));
        // The space of "upgrate tool" travels percent-encoded.
        reply = m_client->api("GET", QStringLiteral("installation?type=upgrate tool"));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.json().value(QStringLiteral("data")).toArray().at(0).toObject()
                     .value(QStringLiteral("name")).toString(), QStringLiteral("tool.zip"));
    }
};

QTEST_GUILESS_MAIN(TestCloudSimEndpoints)
#include "tst_cloudsim_endpoints.moc"
