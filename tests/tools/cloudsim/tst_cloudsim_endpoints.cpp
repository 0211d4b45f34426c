// Client calls change the simulated cloud as a real one would (the shapes of
// the answers are read by the cloud client's wire suite). The
// demo fixture's pictures are real pictures of the formats it names.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QtTest>

namespace {

QJsonObject registration(const QString &mac, const QString &fw)
{
    return {{"uuid", mac}, {"macAddress", mac}, {"userId", 7}, {"location", "Default place"}, {"fwVersion", fw}};
}

// The values of some keys of an object, as text, to compare in one go.
QStringList fields(const QJsonObject &object, const QStringList &keys)
{
    QStringList values;
    for (const QString &key : keys) {
        const QJsonValue value = object.value(key);
        values << (value.isString() ? value.toString() : QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)));
    }
    return values;
}

} // namespace

class TestCloudSimEndpoints : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

    QJsonObject lookUp(const QString &mac)
    {
        return m_client->api("GET", QStringLiteral("tamo_device?where={\"mac\":\"%1\"}").arg(mac)).json();
    }
    QJsonObject device(const QString &mac) { return lookUp(mac).value("rows").toArray().at(0).toObject(); }
    QJsonObject event(const QString &mac) { return m_client->lastEvent(mac).data().value("campaignEvent").toObject(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_sim.start(), m_sim.errors().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(m_client->login());
    }
    void cleanupTestCase()
    {
        delete m_client;
        QCOMPARE(m_sim.stop(), 0);
    }

    void signInAnswersTokensAndTheUser()
    {
        HttpProbe anonymous(m_sim.baseUrl());
        const HttpReply reply = anonymous.api("POST", "signin/", {{"email", "MANAGER@acme.example"}, {"password", "s3cret-Pass"}});
        QCOMPARE(reply.status, 200);
        const QJsonObject data = reply.data();
        QCOMPARE(data.value("authToken").toString().count(QLatin1Char('.')), 2);
        QVERIFY(!data.value("refreshToken").toString().isEmpty());
        QCOMPARE(fields(data, {"firstName", "lastName", "fullname", "email", "role", "id", "companyId"}),
                 (QStringList{"Mia", "Stone", "Mia Stone", "manager@acme.example", "company_manager", "[7]", "[1]"}));
        QCOMPARE(QDateTime::fromString(data.value("dob").toString(), Qt::ISODateWithMs).date(), QDate(1990, 5, 17));
        // The logo link works as given: link, "?", signature, no token.
        const QJsonObject logo = data.value("companyLogo").toObject();
        QVERIFY(logo.value("link").toString().endsWith(QLatin1String("/logo.png")));
        QCOMPARE(anonymous.fetch(HttpProbe::signedUrl(logo)).body, CloudSimProcess::sampleFileBytes("logo.png"));
        // Roles other than manager and admin still sign in; the application decides.
        QVERIFY(anonymous.login("worker@acme.example", "w0rker-Pass"));
    }

    void signInRefusalsUseTheCloudsWording()
    {
        HttpProbe anonymous(m_sim.baseUrl());
        HttpReply reply = anonymous.api("POST", "signin/", {{"email", "nobody@acme.example"}, {"password", "x"}});
        QCOMPARE(reply.status, 404);
        QCOMPARE(reply.message(), QStringLiteral("User with email nobody@acme.example doesn't exist."));
        reply = anonymous.api("POST", "signin/", {{"email", "manager@acme.example"}, {"password", "wrong"}});
        QCOMPARE(reply.status, 400);
        // Every string of an error answer is shown to the operator: there is only the message.
        QStringList strings;
        for (const QJsonValue &value : reply.json())
            if (value.isString())
                strings << value.toString();
        QCOMPARE(strings, QStringList{"Email or password is wrong."});
    }

    void registrationAnswersAndCreates()
    {
        // An up-to-date device: activated, its cloud location, no firmware offer.
        QJsonObject data = m_client->api("POST", "tamo_device_usb", registration("aa:bb:cc:00:00:01", "1.6.0")).data();
        QCOMPARE(fields(data, {"activated", "location"}), (QStringList{"[true]", "Hall"}));
        QVERIFY(!data.contains("firmware"));
        // An older firmware gets the upgrade offer as a signed link.
        data = m_client->api("POST", "tamo_device_usb", registration("aa:bb:cc:00:00:01", "1.5.9")).data();
        QCOMPARE(HttpProbe().fetch(HttpProbe::signedUrl(data.value("firmware").toObject())).body,
                 CloudSimProcess::sampleFileBytes("fw.dfu"));
        // Not activated: the answer says so.
        data = m_client->api("POST", "tamo_device_usb", registration("aa:bb:cc:00:00:03", "1.6.0")).data();
        QCOMPARE(fields(data, {"activated", "location"}), (QStringList{"[false]", "Store"}));
        // A device the cloud does not know is created, not activated.
        QCOMPARE(lookUp("aa:bb:cc:00:00:77").value("count").toInt(), 0);
        data = m_client->api("POST", "tamo_device_usb", registration("aa:bb:cc:00:00:77", "1.6.0")).data();
        QCOMPARE(fields(data, {"activated", "location"}), (QStringList{"[false]", "Default place"}));
        QCOMPARE(lookUp("aa:bb:cc:00:00:77").value("count").toInt(), 1);
        QCOMPARE(device("aa:bb:cc:00:00:77").value("activated").toBool(), false);
    }

    void updateChangesTheDeviceAndAnswersIt()
    {
        const QJsonObject body{{"mac", "aa:bb:cc:00:00:01"}, {"mobilePlatform", "usb"}, {"name", "Renamed"},
                               {"firmwareRevision", "1.5.31"}, {"lastPairedAt", "2024-06-01T12:30:00.250Z"},
                               {"tamoId", QJsonArray{5001, 5003}}, {"postId", QJsonArray{6001}}};
        const HttpReply reply = m_client->api("PUT", "account/tamo_device/aa:bb:cc:00:00:01", body);
        QCOMPARE(reply.status, 200);
        QCOMPARE(fields(reply.data(), {"name", "label", "location", "userId", "lastPairedAt"}),
                 (QStringList{"Renamed", "Front", "Hall", "[8]", "2024-06-01T12:30:00.250Z"}));
        QCOMPARE(fields(device("aa:bb:cc:00:00:01"), {"firmwareRevision", "name"}), (QStringList{"1.5.31", "Renamed"}));
        QCOMPARE(m_client->api("PUT", "account/tamo_device/aa:bb:cc:00:00:99",
                               {{"mac", "aa:bb:cc:00:00:99"}, {"mobilePlatform", "usb"}}).status, 404);
        // An erase confirmation clears the request.
        QCOMPARE(m_client->api("PUT", "account/tamo_device/aa:bb:cc:00:00:02",
                               {{"mac", "aa:bb:cc:00:00:02"}, {"mobilePlatform", "usb"}, {"erased", true},
                                {"tamoId", QJsonArray{}}, {"postId", QJsonArray{}}}).status, 200);
        QCOMPARE(device("aa:bb:cc:00:00:02").value("toErase").toBool(), false);
    }

    void campaignEventAndUploadStatus()
    {
        // The newest event of the device is its current one.
        QCOMPARE(fields(event("aa:bb:cc:00:00:01"), {"id", "contentIds", "defaultContentId", "isUploaded"}),
                 (QStringList{"[42]", "[[5001,5003,6001,5005]]", "[6001]", "[false]"}));
        const QJsonObject status{{"macAddress", "aa:bb:cc:00:00:01"}, {"status", "in progress"}, {"errorMessage", ""}};
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log", status).status, 200);
        QCOMPARE(event("aa:bb:cc:00:00:01").value("isUploaded").toBool(), false);
        QJsonObject success = status;
        success.insert("status", "success");
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log", success).status, 200);
        QCOMPARE(event("aa:bb:cc:00:00:01").value("isUploaded").toBool(), true);
        QCOMPARE(m_client->api("POST", "scheduled_event/999/log", success).status, 404);
        // A device without an event, and one that is not activated, have none.
        const HttpReply none = m_client->lastEvent("aa:bb:cc:00:00:02");
        QCOMPARE(none.status, 200);
        QVERIFY(none.data().contains("campaignEvent"));
        QVERIFY(event("aa:bb:cc:00:00:02").isEmpty());
        QVERIFY(event("aa:bb:cc:00:00:03").isEmpty());
    }

    void badFixturesAreRefused_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("misspelt key") << "devices" << 0 << "toErrase" << QJsonValue(true)
                                      << QByteArray("devices[0]: unexpected key 'toErrase'");
        QTest::newRow("event of an unknown device") << "events" << 0 << "mac" << QJsonValue("aa:bb:cc:00:00:99")
                                                    << QByteArray("events[0]: no device with mac aa:bb:cc:00:00:99");
        QTest::newRow("default not in the event") << "events" << 1 << "defaultContentId" << QJsonValue(5002)
                                                  << QByteArray("events[1]: 'defaultContentId' must be one of 'contentIds'");
        QTest::newRow("duplicate uuid") << "contents" << 1 << "uuid" << QJsonValue(5001)
                                        << QByteArray("contents[1]: id and uuid must be positive and unique");
    }
    void badFixturesAreRefused()
    {
        QFETCH(QString, list);
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QByteArray, message);
        QJsonObject fixture = CloudSimProcess::sampleFixture();
        QJsonArray array = fixture.value(list).toArray();
        QJsonObject entry = array.at(index).toObject();
        entry.insert(key, value);
        array.replace(index, entry);
        fixture.insert(list, array);
        CloudSimProcess sim;
        QVERIFY(!sim.start(fixture));
        QCOMPARE(sim.stop(), 1);
        QVERIFY2(sim.errors().contains(message), sim.errors().constData());
    }

    // The demo: the README's account, three devices with campaigns of JPEG and
    // PNG stills of several sizes and shapes, an animation of more than 24
    // frames, a slideshow with a charging picture, and the firmware on offer.
    void demoFixture()
    {
        SimProcess server(CloudSimProcess::program());
        QString base;
        QVERIFY(server.start({"--fixture", TAMO_CLOUDSIM_DEMO_FIXTURE, "--files", TAMO_CLOUDSIM_DEMO_FILES, "--quiet"},
                             "http", &base));
        HttpProbe client(base);
        QVERIFY(client.login("demo.manager@tamo.example", "TamoDemo-2024"));
        const HttpReply signin = HttpProbe(base).api("POST", "signin/", {{"email", "demo.manager@tamo.example"},
                                                                         {"password", "TamoDemo-2024"}});
        const QJsonObject logo = signin.data().value("companyLogo").toObject();
        QVERIFY(!QImage::fromData(HttpProbe().fetch(HttpProbe::signedUrl(logo)).body).isNull());
        int eventId = 0;
        for (const QString mac : {"c4:4f:33:0a:0b:01", "c4:4f:33:0a:0b:02", "c4:4f:33:0a:0b:03"}) {
            const QJsonObject root = client.api("GET", QStringLiteral("tamo_device?where={\"mac\":\"%1\"}").arg(mac)).json();
            QVERIFY(root.value("rows").toArray().at(0).toObject().value("activated").toBool());
            const QJsonObject event = client.lastEvent(mac).data().value("campaignEvent").toObject();
            QVERIFY(!event.value("contentIds").toArray().isEmpty());
            eventId = eventId ? eventId : event.value("id").toInt();
        }
        const QJsonObject data = client.api("GET", QStringLiteral("account/schedule_event/%1/content").arg(eventId)).data();
        const QJsonObject slideshow = data.value("posts").toArray().at(0).toObject();
        QJsonArray items = data.value("tamos").toArray();
        for (const QJsonValue &tamo : slideshow.value("tamos").toArray())
            items.append(tamo);
        QSet<QByteArray> formats;
        QSet<QString> sizes;
        QSet<int> shapes; // aspect ratio in percent
        int gifFrames = 0;
        bool chargingListed = false;
        for (const QJsonValue &value : items) {
            const QJsonObject item = value.toObject();
            chargingListed = chargingListed || item.value("id").toInt() == slideshow.value("chargingTamoId").toInt();
            QBuffer buffer;
            buffer.setData(HttpProbe().fetch(HttpProbe::signedUrl(item.value("asset").toObject())).body);
            QImageReader reader(&buffer);
            QCOMPARE("image/" + QString::fromLatin1(reader.format()), item.value("imageFormat").toString());
            formats.insert(reader.format());
            sizes.insert(QStringLiteral("%1x%2").arg(reader.size().width()).arg(reader.size().height()));
            shapes.insert(reader.size().width() * 100 / qMax(1, reader.size().height()));
            gifFrames = qMax(gifFrames, reader.format() == "gif" ? reader.imageCount() : 0);
            QVERIFY(!reader.read().isNull());
        }
        QCOMPARE(formats, (QSet<QByteArray>{"jpeg", "png", "gif"}));
        QVERIFY(sizes.size() >= 6 && shapes.size() >= 4);
        QVERIFY2(gifFrames > 24, qPrintable(QString::number(gifFrames)));
        QVERIFY(slideshow.value("tamoId").toArray().size() >= 3 && chargingListed);
        // The firmware: written by the device simulator when it is built, else a placeholder.
        const QJsonObject firmware = HttpProbe(base).api("GET", "tamo_device_usb/upgrade").data().value("firmware").toObject();
        const QByteArray file = HttpProbe().fetch(HttpProbe::signedUrl(firmware)).body;
        QVERIFY(file.startsWith("DfuSe") || file.startsWith("TAMO-DEMO-FIRMWARE-PLACEHOLDER"));
        QVERIFY(client.api("GET", "installation?type=dfu").json().value("data").toArray().at(0).toObject().value("active").toBool());
        QCOMPARE(server.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimEndpoints)
#include "tst_cloudsim_endpoints.moc"
