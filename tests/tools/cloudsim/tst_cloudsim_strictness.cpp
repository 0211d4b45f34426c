// The simulator refuses what the cloud contract does not allow, with the
// status a client must be ready for: every check of the request, one by one.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QDateTime>
#include <QJsonArray>
#include <QtTest>

namespace {

// Header lines as the rows write them: "$TOKEN" is the access token,
// "$TAMPERED" the same token with a changed signature.
const QByteArray kJson = "Content-Type: application/json";
const QByteArray kClient = kJson + "\nAuthorization: Bearer $TOKEN";
const QString kDevice = QStringLiteral("account/tamo_device/aa:bb:cc:00:00:01");

// A body the client would send, with keys changed (a null value removes one).
QByteArray body(QJsonObject object, const QJsonObject &changes = {})
{
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            object.remove(it.key());
        else
            object.insert(it.key(), it.value());
    }
    return HttpProbe::indented(object);
}
QByteArray registration(const QJsonObject &changes)
{
    return body({{"uuid", "aa:bb:cc:00:00:01"}, {"macAddress", "aa:bb:cc:00:00:01"}, {"userId", 7},
                 {"location", "Hall"}, {"fwVersion", "1.5.30"}},
                changes);
}
QByteArray uploadStatus(const QJsonObject &changes)
{
    return body({{"macAddress", "aa:bb:cc:00:00:01"}, {"status", "done"}, {"errorMessage", ""}}, changes);
}
QByteArray update(const QJsonObject &changes)
{
    return body({{"mac", "aa:bb:cc:00:00:01"}, {"mobilePlatform", "usb"}}, changes);
}

void row(const char *name, const QByteArray &method, const QString &path, const QByteArray &headers,
         const QByteArray &content, int status, const QString &message = QString())
{
    QTest::newRow(name) << method << path << headers << content << status << message;
}

} // namespace

class TestCloudSimStrictness : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

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

    // For a 405 the message column holds the Allow header.
    void requestIsAnswered_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QByteArray login = body({{"email", "manager@acme.example"}, {"password", "s3cret-Pass"}});

        // Paths are exact: no trailing slash where the contract has none.
        row("unknown path", "GET", "no/such/path", kClient, {}, 404);
        row("trailing slash", "GET", "setting/platform/", kClient, {}, 404);
        row("user without id", "GET", "user/", kClient, {}, 404);
        row("sign-in without slash", "POST", "signin", kJson, login, 404);
        row("POST to a GET", "POST", "setting/platform", kClient, body({{"a", 1}}), 405, "GET");
        row("GET to a POST", "GET", "signin/", kJson, {}, 405, "POST");
        row("DELETE of a user", "DELETE", "user/7", kClient, {}, 405, "GET");
        row("GET of a device update", "GET", kDevice, kClient, {}, 405, "PUT");
        row("PUT of a registration", "PUT", "tamo_device_usb", kClient, update({}), 405, "POST");

        const QString needsJson = QStringLiteral("Content-Type must be application/json");
        row("no content type", "GET", "setting/platform", "Authorization: Bearer $TOKEN", {}, 415, needsJson);
        row("text content type", "GET", "setting/platform", "Content-Type: text/plain\nAuthorization: Bearer $TOKEN",
            {}, 415, needsJson);
        row("JSON with a charset", "GET", "setting/platform",
            "Content-Type: application/json; charset=utf-8\nAuthorization: Bearer $TOKEN", {}, 415, needsJson);
        row("form sign-in", "POST", "signin/", "Content-Type: application/x-www-form-urlencoded",
            "email=a&password=b", 415, needsJson);

        const QString required = QStringLiteral("Authorization required");
        row("no bearer", "GET", "setting/platform", kJson, {}, 401, required);
        row("no bearer for a user", "GET", "user/7", kJson, {}, 401, required);
        row("no bearer for a company", "GET", "company/1", kJson, {}, 401, required);
        row("no bearer for installers", "GET", "installation?type=dfu", kJson, {}, 401, required);
        row("lower-case scheme", "GET", "setting/platform", kJson + "\nAuthorization: bearer $TOKEN", {}, 401, required);
        row("two spaces", "GET", "setting/platform", kJson + "\nAuthorization: Bearer  $TOKEN", {}, 401, required);
        row("no token", "GET", "setting/platform", kJson + "\nAuthorization: Bearer ", {}, 401, required);
        row("not a JWT", "GET", "setting/platform", kJson + "\nAuthorization: Bearer abc.def", {}, 401, "Invalid token");
        row("tampered", "GET", "setting/platform", kJson + "\nAuthorization: Bearer $TAMPERED", {}, 401, "Invalid token");

        const QString noToken = QStringLiteral("This call takes no Authorization header");
        row("sign-in with a bearer", "POST", "signin/", kClient, login, 400, noToken);
        row("renewal with a bearer", "POST", "refresh_token/", kClient, body({{"token", "x"}}), 400, noToken);
        row("firmware offer with a bearer", "GET", "tamo_device_usb/upgrade", kClient, {}, 400, noToken);
        row("firmware offer without one", "GET", "tamo_device_usb/upgrade", kJson, {}, 200);
        row("GET with a body", "GET", "setting/platform", kClient, "{}", 400, "A GET carries no body");

        // Bodies come indented by four, keys sorted, as the client writes them.
        row("indented, sorted", "POST", "signin/", kJson, login, 200);
        row("compact", "POST", "signin/", kJson, R"({"email":"manager@acme.example","password":"s3cret-Pass"})", 400);
        row("unsorted", "POST", "signin/", kJson,
            "{\n    \"password\": \"s3cret-Pass\",\n    \"email\": \"manager@acme.example\"\n}\n", 400);
        row("two-space indent", "POST", "signin/", kJson,
            "{\n  \"email\": \"manager@acme.example\",\n  \"password\": \"s3cret-Pass\"\n}\n", 400);
        row("array", "POST", "signin/", kJson, "[\n]\n", 400);
        row("not JSON", "POST", "signin/", kJson, "email=x", 400);
        row("no body", "POST", "signin/", kJson, {}, 400);

        row("registration: unknown key", "POST", "tamo_device_usb", kClient, registration({{"name", "x"}}), 400,
            "unexpected key 'name'");
        row("registration: missing key", "POST", "tamo_device_usb", kClient, registration({{"fwVersion", QJsonValue()}}),
            400, "missing key 'fwVersion'");
        row("registration: userId as text", "POST", "tamo_device_usb", kClient, registration({{"userId", "7"}}), 400,
            "'userId' must be an integer");
        row("registration: uuid is not the MAC", "POST", "tamo_device_usb", kClient,
            registration({{"uuid", "aa:bb:cc:00:00:09"}}), 400, "'uuid' and 'macAddress' must both hold the MAC address");
        const QString log = QStringLiteral("scheduled_event/42/log");
        row("upload status: unknown status text", "POST", log, kClient, uploadStatus({}), 400,
            "'status' must be one of: in progress, success, failed");
        row("upload status: errorMessage missing", "POST", log, kClient,
            uploadStatus({{"status", "failed"}, {"errorMessage", QJsonValue()}}), 400, "missing key 'errorMessage'");
        row("upload status: event of another device", "POST", log, kClient,
            uploadStatus({{"status", "success"}, {"macAddress", "aa:bb:cc:00:00:03"}}), 400,
            "Event 42 is not scheduled for aa:bb:cc:00:00:03");
        row("renewal: wrong key", "POST", "refresh_token/", kJson, body({{"refreshToken", "x"}}), 400,
            "unexpected key 'refreshToken'");

        row("update: erased false", "PUT", kDevice, kClient, update({{"erased", false}}), 400,
            "'erased' is sent only as true");
        row("update: empty name", "PUT", kDevice, kClient, update({{"name", ""}}), 400,
            "'name' is sent only when not empty");
        row("update: empty serial", "PUT", kDevice, kClient, update({{"serialNumber", ""}}), 400,
            "'serialNumber' is sent only when not empty");
        row("update: tamoId alone", "PUT", kDevice, kClient, update({{"tamoId", QJsonArray{5001}}}), 400,
            "'tamoId' and 'postId' come together");
        row("update: ids as text", "PUT", kDevice, kClient,
            update({{"tamoId", QJsonArray{"5001"}}, {"postId", QJsonArray{}}}), 400,
            "'tamoId' must be an array of integers");
        const QString isoMs = QStringLiteral("'lastPairedAt' must be ISO 8601 with milliseconds and a time zone");
        row("update: lastPairedAt without zone", "PUT", kDevice, kClient,
            update({{"lastPairedAt", "2024-05-01T10:00:00.000"}}), 400, isoMs);
        row("update: lastPairedAt without milliseconds", "PUT", kDevice, kClient,
            update({{"lastPairedAt", "2024-05-01T10:00:00Z"}}), 400, isoMs);
        row("update: mac differs from the path", "PUT", kDevice, kClient, update({{"mac", "aa:bb:cc:00:00:02"}}), 400,
            "'mac' must be the MAC address of the path");
        row("update: another platform", "PUT", kDevice, kClient, update({{"mobilePlatform", "ios"}}), 400,
            "'mobilePlatform' must be \"usb\"");
        row("update: mobilePlatform missing", "PUT", kDevice, kClient, update({{"mobilePlatform", QJsonValue()}}), 400,
            "missing key 'mobilePlatform'");

        row("lookup: exact", "GET", "tamo_device?where={\"mac\":\"aa:bb:cc:00:00:01\"}", kClient, {}, 200);
        row("lookup: percent-encoded", "GET", "tamo_device?where=%7B%22mac%22%3A%22aa%3Abb%3Acc%3A00%3A00%3A01%22%7D",
            kClient, {}, 200);
        row("lookup: with spaces", "GET", "tamo_device?where={\"mac\": \"aa:bb:cc:00:00:01\"}", kClient, {}, 400);
        row("lookup: other member", "GET", "tamo_device?where={\"uuid\":\"aa:bb:cc:00:00:01\"}", kClient, {}, 400);
        row("lookup: two members", "GET", "tamo_device?where={\"mac\":\"aa\",\"x\":1}", kClient, {}, 400);
        row("lookup: no where", "GET", "tamo_device?mac=aa:bb:cc:00:00:01", kClient, {}, 400);
        row("lookup: extra parameter", "GET", "tamo_device?where={\"mac\":\"aa:bb:cc:00:00:01\"}&limit=1", kClient, {},
            400);

        const QString info = QStringLiteral("account/content/device?");
        row("content info: two uuids", "GET", info + "limit=1000&where={\"uuid\":[5001,5002]}", kClient, {}, 200);
        row("content info: no uuid", "GET", info + "limit=1000&where={\"uuid\":[]}", kClient, {}, 200);
        row("content info: quoted uuids", "GET", info + "limit=1000&where={\"uuid\":[\"5001\"]}", kClient, {}, 400);
        row("content info: space after comma", "GET", info + "limit=1000&where={\"uuid\":[5001, 5002]}", kClient, {},
            400);
        row("content info: other limit", "GET", info + "limit=100&where={\"uuid\":[5001]}", kClient, {}, 400);
        row("content info: no limit", "GET", info + "where={\"uuid\":[5001]}", kClient, {}, 400);

        const QString event = QStringLiteral("account/event/last?");
        const QString now = QStringLiteral("useMacAddress=true&timestamp=") + QDateTime::currentDateTime().toString(Qt::ISODate);
        const QByteArray mac = "\nX-Mac-Address: aa:bb:cc:00:00:01";
        const QByteArray desktop = "\nX-Is-Desktop-App: true";
        row("event: complete", "GET", event + now, kClient + mac + desktop, {}, 200);
        row("event: MAC in upper case", "GET", event + now, kClient + "\nX-Mac-Address: AA:BB:CC:00:00:01" + desktop, {},
            400);
        row("event: MAC header missing", "GET", event + now, kClient + desktop, {}, 400);
        row("event: desktop header missing", "GET", event + now, kClient + mac, {}, 400);
        row("event: desktop header 1", "GET", event + now, kClient + mac + "\nX-Is-Desktop-App: 1", {}, 400);
        row("event: unknown device", "GET", event + now, kClient + "\nX-Mac-Address: aa:bb:cc:00:00:99" + desktop, {},
            404);
        row("event: useMacAddress false", "GET", QString(event + now).replace("=true", "=false"),
            kClient + mac + desktop, {}, 400);
        row("event: timestamp with milliseconds", "GET",
            event + "useMacAddress=true&timestamp=" + QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
            kClient + mac + desktop, {}, 400);
        row("event: timestamp with zone", "GET",
            event + "useMacAddress=true&timestamp=" + QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
            kClient + mac + desktop, {}, 400);
        row("event: timestamp of yesterday", "GET",
            event + "useMacAddress=true&timestamp=" + QDateTime::currentDateTime().addDays(-1).toString(Qt::ISODate),
            kClient + mac + desktop, {}, 400);
        row("event: no timestamp", "GET", event + "useMacAddress=true", kClient + mac + desktop, {}, 400);

        row("installers of no type", "GET", "installation?type=", kClient, {}, 400);
        row("installers of an unknown type", "GET", "installation?type=exe", kClient, {}, 400);
        row("installers without a type", "GET", "installation", kClient, {}, 400);
        row("installers of two types", "GET", "installation?type=dfu&type=pc", kClient, {}, 400);
        row("setting with a parameter", "GET", "setting/platform?x=1", kClient, {}, 400);
    }
    void requestIsAnswered()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, headers);
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        QFETCH(QString, message);
        QByteArray tampered = m_client->authToken;
        tampered[tampered.size() - 2] = tampered.at(tampered.size() - 2) == 'A' ? 'B' : 'A';
        HttpProbe::Headers list;
        for (const QByteArray &line : headers.split('\n')) {
            const QByteArray value = line.mid(line.indexOf(':') + 2);
            list.append({line.left(line.indexOf(':')),
                         QByteArray(value).replace("$TOKEN", m_client->authToken).replace("$TAMPERED", tampered)});
        }
        const HttpReply reply = m_client->send(method, m_client->url(path), list, content);
        QVERIFY2(reply.status == status, reply.body.constData());
        if (status == 405)
            QCOMPARE(QString::fromLatin1(reply.headers.value("allow")), message);
        else if (!message.isEmpty())
            QCOMPARE(reply.message(), message);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimStrictness)
#include "tst_cloudsim_strictness.moc"
