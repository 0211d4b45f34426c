// The cloud simulator over real sockets, with a client of the tests' own: it
// refuses what the cloud contract does not allow with the status a client must
// be ready for, its tokens are real and enforced, its files are reached only
// through signed links, calls change it as a real cloud would, and its record
// of what clients did holds no secret.
#include "CloudSim.h"
#include "HttpProbe.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QThread>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kSecret = "a test secret of reasonable length";

QByteArray fileBytes(const QString &name)
{
    return "sample file " + name.toUtf8() + QByteArray(300, 'x');
}

// A small fixture that reaches every endpoint.
QJsonObject sampleFixture()
{
    const QByteArray text = R"({
      "minFWVersion": "1.5.28",
      "companies": [{"id": 1, "title": "Acme Displays", "logo": "logo.png"},
                    {"id": 2, "title": "No Logo Ltd"}],
      "users": [
        {"id": 7, "email": "manager@acme.example", "password": "s3cret-Pass", "role": "company_manager",
         "companyId": 1, "firstName": "Mia", "lastName": "Stone", "username": "mia", "dob": "1990-05-17"},
        {"id": 8, "email": "worker@acme.example", "password": "w0rker-Pass", "role": "user",
         "companyId": 1, "firstName": "Will", "lastName": "Hart"},
        {"id": 9, "email": "admin@acme.example", "password": "adm1n-Pass", "role": "Admin", "companyId": 2}
      ],
      "devices": [
        {"mac": "aa:bb:cc:00:00:01", "activated": true, "name": "TAMO-01", "label": "Front", "location": "Hall",
         "brightness": 70, "userId": 8, "firmwareRevision": "1.5.30", "hardwareRevision": "P1",
         "serialNumber": "SN01", "lastPairedAt": "2024-05-01T10:00:00.000Z"},
        {"mac": "AA:BB:CC:00:00:02", "activated": true, "toErase": true},
        {"mac": "aa:bb:cc:00:00:03", "activated": false, "location": "Store"}
      ],
      "contents": [
        {"id": 101, "uuid": 5001, "file": "a.jpg", "createdAt": "2024-01-02T03:04:05.006Z"},
        {"id": 102, "uuid": 5002, "file": "b.png", "linkName": "shown name.png",
         "disposition": "../../etc/\u0022evil\u0022.png"},
        {"id": 103, "uuid": 5003, "file": "c.gif"},
        {"id": 104, "uuid": 5004, "file": "d.png"},
        {"id": 105, "uuid": 5005, "file": "a.jpg", "imageFormat": "image/bmp"}
      ],
      "posts": [
        {"id": 201, "uuid": 6001, "timeInterval": 5, "tamoIds": [101, 102, 101], "chargingTamoId": 104,
         "createdAt": "2024-02-03T04:05:06.007Z"},
        {"id": 202, "uuid": 6002, "properties": "", "tamoIds": [103]}
      ],
      "events": [
        {"id": 41, "mac": "aa:bb:cc:00:00:01", "contentIds": [5001], "defaultContentId": 5001, "isUploaded": true},
        {"id": 42, "mac": "aa:bb:cc:00:00:01", "contentIds": [5001, 5003, 6001, 5005], "defaultContentId": 6001},
        {"id": 43, "mac": "aa:bb:cc:00:00:03", "contentIds": [5002]}
      ],
      "firmware": {"version": "1.6.0", "file": "fw.dfu", "offerAtRegistration": true},
      "installations": [
        {"id": 1, "type": "dfu", "name": "old.dfu", "file": "fw.dfu"},
        {"id": 2, "type": "pc", "name": "setup.exe", "file": "fw.dfu", "active": true},
        {"id": 3, "type": "dfu", "name": "../evil name.dfu", "file": "fw.dfu", "active": true,
         "linkName": "..", "disposition": "../../outside.dfu"},
        {"id": 4, "type": "upgrate tool", "name": "tool.zip", "file": "fw.dfu", "active": true}
      ]
    })";
    return QJsonDocument::fromJson(text).object();
}

QMap<QString, QByteArray> sampleFiles()
{
    QMap<QString, QByteArray> files;
    for (const char *name : {"logo.png", "a.jpg", "b.png", "c.gif", "d.png", "fw.dfu"})
        files.insert(QString::fromLatin1(name), fileBytes(QString::fromLatin1(name)));
    return files;
}

QJsonObject segment(const QByteArray &token, int index)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(token.split('.').value(index), QByteArray::Base64UrlEncoding))
        .object();
}
qint64 expiry(const QByteArray &token)
{
    return segment(token, 1).value(QStringLiteral("exp")).toVariant().toLongLong();
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

// The first entry of a list whose key holds the value.
QJsonObject entryWith(const QJsonArray &list, const QString &key, const QJsonValue &value)
{
    for (const QJsonValue &entry : list)
        if (entry.toObject().value(key) == value)
            return entry.toObject();
    return QJsonObject();
}

QJsonObject registrationOf(const QString &mac, const QString &fw)
{
    return {{"uuid", mac}, {"macAddress", mac}, {"userId", 7}, {"location", "Default place"}, {"fwVersion", fw}};
}

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

class TestCloudSimServer : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir; // the secret and the state file
    std::unique_ptr<CloudSim> m_sim;
    std::unique_ptr<HttpProbe> m_client;
    QList<QByteArray> m_secrets; // every password, token and signature a test used

    QString statePath() const { return m_dir.filePath(QStringLiteral("state.json")); }
    QJsonObject stateFile() const
    {
        QFile file(statePath());
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    QJsonObject lookUp(const QString &mac)
    {
        return m_client->api("GET", QStringLiteral("tamo_device?where={\"mac\":\"%1\"}").arg(mac)).json();
    }
    QJsonObject device(const QString &mac) { return lookUp(mac).value("rows").toArray().at(0).toObject(); }
    QJsonObject event(const QString &mac) { return m_client->lastEvent(mac).data().value("campaignEvent").toObject(); }

private slots:
    void initTestCase()
    {
        QFile secret(m_dir.filePath(QStringLiteral("secret")));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write(kSecret) == kSecret.size());
        secret.close();
        m_sim = std::make_unique<CloudSim>(sampleFixture(), QStringList{"--secret-file", secret.fileName(), "--state", statePath()},
                                           sampleFiles());
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->failure()));
        m_client = std::make_unique<HttpProbe>(m_sim->baseUrl());
        QVERIFY(!HttpProbe(m_sim->baseUrl()).login("manager@acme.example", "not-the-password"));
        QVERIFY(m_client->login());
        m_secrets << "s3cret-Pass" << "not-the-password" << "w0rker-Pass" << m_client->authToken << m_client->refreshToken;
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
        row("trailing slash", "GET", "setting/platform/", kClient, {}, 404);
        row("sign-in without slash", "POST", "signin", kJson, login, 404);
        row("POST to a GET", "POST", "setting/platform", kClient, body({{"a", 1}}), 405, "GET");
        row("GET of a device update", "GET", kDevice, kClient, {}, 405, "PUT");

        const QString needsJson = QStringLiteral("Content-Type must be application/json");
        row("no content type", "GET", "setting/platform", "Authorization: Bearer $TOKEN", {}, 415, needsJson);
        row("JSON with a charset", "GET", "setting/platform",
            "Content-Type: application/json; charset=utf-8\nAuthorization: Bearer $TOKEN", {}, 415, needsJson);

        const QString required = QStringLiteral("Authorization required");
        row("no bearer", "GET", "setting/platform", kJson, {}, 401, required);
        row("lower-case scheme", "GET", "setting/platform", kJson + "\nAuthorization: bearer $TOKEN", {}, 401, required);
        row("not a JWT", "GET", "setting/platform", kJson + "\nAuthorization: Bearer abc.def", {}, 401, "Invalid token");
        row("tampered", "GET", "setting/platform", kJson + "\nAuthorization: Bearer $TAMPERED", {}, 401, "Invalid token");

        const QString noToken = QStringLiteral("This call takes no Authorization header");
        row("sign-in with a bearer", "POST", "signin/", kClient, login, 400, noToken);
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
        row("not JSON", "POST", "signin/", kJson, "email=x", 400);

        row("registration: unknown key", "POST", "tamo_device_usb", kClient, registration({{"name", "x"}}), 400,
            "unexpected key 'name'");
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

        row("update: erased false", "PUT", kDevice, kClient, update({{"erased", false}}), 400,
            "'erased' is sent only as true");
        row("update: empty name", "PUT", kDevice, kClient, update({{"name", ""}}), 400,
            "'name' is sent only when not empty");
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

        row("lookup: exact", "GET", "tamo_device?where={\"mac\":\"aa:bb:cc:00:00:01\"}", kClient, {}, 200);
        row("lookup: percent-encoded", "GET", "tamo_device?where=%7B%22mac%22%3A%22aa%3Abb%3Acc%3A00%3A00%3A01%22%7D",
            kClient, {}, 200);
        row("lookup: with spaces", "GET", "tamo_device?where={\"mac\": \"aa:bb:cc:00:00:01\"}", kClient, {}, 400);
        row("lookup: other member", "GET", "tamo_device?where={\"uuid\":\"aa:bb:cc:00:00:01\"}", kClient, {}, 400);
        row("lookup: extra parameter", "GET", "tamo_device?where={\"mac\":\"aa:bb:cc:00:00:01\"}&limit=1", kClient, {},
            400);

        const QString info = QStringLiteral("account/content/device?");
        row("content info: two uuids", "GET", info + "limit=1000&where={\"uuid\":[5001,5002]}", kClient, {}, 200);
        row("content info: quoted uuids", "GET", info + "limit=1000&where={\"uuid\":[\"5001\"]}", kClient, {}, 400);
        row("content info: space after comma", "GET", info + "limit=1000&where={\"uuid\":[5001, 5002]}", kClient, {},
            400);
        row("content info: other limit", "GET", info + "limit=100&where={\"uuid\":[5001]}", kClient, {}, 400);

        const QString event = QStringLiteral("account/event/last?");
        const QString now = QStringLiteral("useMacAddress=true&timestamp=") + QDateTime::currentDateTime().toString(Qt::ISODate);
        const QByteArray mac = "\nX-Mac-Address: aa:bb:cc:00:00:01";
        const QByteArray desktop = "\nX-Is-Desktop-App: true";
        row("event: complete", "GET", event + now, kClient + mac + desktop, {}, 200);
        row("event: MAC in upper case", "GET", event + now, kClient + "\nX-Mac-Address: AA:BB:CC:00:00:01" + desktop, {},
            400);
        row("event: MAC header missing", "GET", event + now, kClient + desktop, {}, 400);
        row("event: desktop header 1", "GET", event + now, kClient + mac + "\nX-Is-Desktop-App: 1", {}, 400);
        row("event: unknown device", "GET", event + now, kClient + "\nX-Mac-Address: aa:bb:cc:00:00:99" + desktop, {},
            404);
        row("event: timestamp with milliseconds", "GET",
            event + "useMacAddress=true&timestamp=" + QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
            kClient + mac + desktop, {}, 400);
        row("event: timestamp with zone", "GET",
            event + "useMacAddress=true&timestamp=" + QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
            kClient + mac + desktop, {}, 400);
        row("event: timestamp of yesterday", "GET",
            event + "useMacAddress=true&timestamp=" + QDateTime::currentDateTime().addDays(-1).toString(Qt::ISODate),
            kClient + mac + desktop, {}, 400);

        row("installers of an unknown type", "GET", "installation?type=exe", kClient, {}, 400);
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

    void accessTokenIsAnHs256Jwt()
    {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        HttpProbe client(m_sim->baseUrl());
        QVERIFY(client.login());
        m_secrets << client.authToken << client.refreshToken;
        const QList<QByteArray> parts = client.authToken.split('.');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(segment(client.authToken, 0), (QJsonObject{{"alg", "HS256"}, {"typ", "JWT"}}));
        const QJsonObject payload = segment(client.authToken, 1);
        const qint64 iat = payload.value("iat").toVariant().toLongLong();
        QVERIFY(iat >= before && iat <= QDateTime::currentSecsSinceEpoch());
        QCOMPARE(expiry(client.authToken) - iat, qint64(3600));
        QCOMPARE(payload.value("sub").toString(), QStringLiteral("7"));
        // The signature is the HMAC-SHA256 of "header.payload" under the secret,
        // base64url without padding.
        QCOMPARE(parts.at(2), QMessageAuthenticationCode::hash(parts.at(0) + '.' + parts.at(1), kSecret, QCryptographicHash::Sha256)
                                  .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        QVERIFY(!client.refreshToken.contains('.'));
    }

    void renewalRotatesBothTokensOnce()
    {
        HttpProbe client(m_sim->baseUrl());
        QVERIFY(client.login());
        const QByteArray firstRefresh = client.refreshToken;
        HttpReply reply = client.renew(firstRefresh);
        QCOMPARE(reply.status, 200);
        const QByteArray secondAccess = reply.data().value("authToken").toString().toUtf8();
        const QByteArray secondRefresh = reply.data().value("refreshToken").toString().toUtf8();
        m_secrets << client.authToken << firstRefresh << secondAccess << secondRefresh;
        QVERIFY(!secondAccess.isEmpty() && secondAccess != client.authToken);
        QVERIFY(!secondRefresh.isEmpty() && secondRefresh != firstRefresh);
        client.authToken = secondAccess;
        QCOMPARE(client.api("GET", "user/7").status, 200);
        // A refresh token is good for one renewal only.
        reply = client.renew(firstRefresh);
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Refresh token is invalid or expired"));
        QCOMPARE(client.renew(secondRefresh).status, 200);
        QCOMPARE(client.renew(secondRefresh).status, 401);
        QCOMPARE(client.renew("not-a-token").status, 401);
    }

    void tokensAndLinksExpireAndOtherServersTokensAreRefused()
    {
        CloudSim other(sampleFixture(), {"--token-lifetime", "2", "--refresh-lifetime", "1", "--link-lifetime", "1"},
                       sampleFiles());
        QVERIFY2(other.isRunning(), qPrintable(other.failure()));
        HttpProbe theirs(other.baseUrl());
        QVERIFY(theirs.login());
        const qint64 refreshExpiry = QDateTime::currentSecsSinceEpoch() + 1;
        QCOMPARE(theirs.api("GET", "setting/platform").status, 200);
        const QUrl link = HttpProbe::signedUrl(theirs.asset(42, 0));
        const qint64 linkExpiry = QUrlQuery(link).queryItemValue("expires").toLongLong();
        QVERIFY(linkExpiry > 0);
        // Same claims, other secret: the signature does not hold.
        HttpProbe forged(other.baseUrl());
        forged.authToken = m_client->authToken;
        HttpReply reply = forged.api("GET", "setting/platform");
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Invalid token"));

        const qint64 until = qMax(qMax(expiry(theirs.authToken), refreshExpiry), linkExpiry + 1);
        while (QDateTime::currentMSecsSinceEpoch() < until * 1000 + 100)
            QThread::msleep(50);
        reply = theirs.api("GET", "setting/platform");
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.message(), QStringLiteral("Token expired"));
        QCOMPARE(theirs.renew(theirs.refreshToken).status, 401);
        reply = HttpProbe().fetch(link);
        QCOMPARE(reply.status, 403);
        QCOMPARE(reply.message(), QStringLiteral("Link expired"));
    }

    void signInAnswersTokensAndTheUser()
    {
        HttpProbe anonymous(m_sim->baseUrl());
        const HttpReply reply = anonymous.api("POST", "signin/", {{"email", "MANAGER@acme.example"}, {"password", "s3cret-Pass"}});
        QCOMPARE(reply.status, 200);
        const QJsonObject data = reply.data();
        m_secrets << data.value("authToken").toString().toUtf8() << data.value("refreshToken").toString().toUtf8();
        QCOMPARE(fields(data, {"firstName", "lastName", "fullname", "email", "role", "id", "companyId"}),
                 (QStringList{"Mia", "Stone", "Mia Stone", "manager@acme.example", "company_manager", "[7]", "[1]"}));
        QCOMPARE(QDateTime::fromString(data.value("dob").toString(), Qt::ISODateWithMs).date(), QDate(1990, 5, 17));
        // The logo link works as given: link, "?", signature, no token.
        const QJsonObject logo = data.value("companyLogo").toObject();
        QVERIFY(logo.value("link").toString().endsWith(QLatin1String("/logo.png")));
        QCOMPARE(anonymous.fetch(HttpProbe::signedUrl(logo)).body, fileBytes("logo.png"));
        // Refusals in the cloud's words, and nothing else to show the operator.
        const HttpReply unknown = anonymous.api("POST", "signin/", {{"email", "nobody@acme.example"}, {"password", "x"}});
        QCOMPARE(unknown.status, 404);
        QCOMPARE(unknown.message(), QStringLiteral("User with email nobody@acme.example doesn't exist."));
        const HttpReply wrong = anonymous.api("POST", "signin/", {{"email", "manager@acme.example"}, {"password", "not-the-password"}});
        QCOMPARE(wrong.status, 400);
        QStringList strings;
        for (const QJsonValue &value : wrong.json())
            if (value.isString())
                strings << value.toString();
        QCOMPARE(strings, QStringList{"Email or password is wrong."});
        // Roles other than manager and admin still sign in; the application decides.
        QVERIFY(anonymous.login("worker@acme.example", "w0rker-Pass"));
        m_secrets << anonymous.authToken << anonymous.refreshToken;
    }

    void registrationAnswersAndCreates()
    {
        // An up-to-date device: activated, its cloud location, no firmware offer.
        QJsonObject data = m_client->api("POST", "tamo_device_usb", registrationOf("aa:bb:cc:00:00:01", "1.6.0")).data();
        QCOMPARE(fields(data, {"activated", "location"}), (QStringList{"[true]", "Hall"}));
        QVERIFY(!data.contains("firmware"));
        // An older firmware gets the upgrade offer as a signed link.
        data = m_client->api("POST", "tamo_device_usb", registrationOf("aa:bb:cc:00:00:01", "1.5.9")).data();
        QCOMPARE(HttpProbe().fetch(HttpProbe::signedUrl(data.value("firmware").toObject())).body, fileBytes("fw.dfu"));
        data = m_client->api("POST", "tamo_device_usb", registrationOf("aa:bb:cc:00:00:03", "1.6.0")).data();
        QCOMPARE(fields(data, {"activated", "location"}), (QStringList{"[false]", "Store"}));
        // A device the cloud does not know is created, not activated.
        QCOMPARE(lookUp("aa:bb:cc:00:00:77").value("count").toInt(), 0);
        data = m_client->api("POST", "tamo_device_usb", registrationOf("aa:bb:cc:00:00:77", "1.6.0")).data();
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
        QJsonObject status{{"macAddress", "aa:bb:cc:00:00:01"}, {"status", "in progress"}, {"errorMessage", ""}};
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log", status).status, 200);
        QCOMPARE(event("aa:bb:cc:00:00:01").value("isUploaded").toBool(), false);
        status.insert("status", "success");
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log", status).status, 200);
        QCOMPARE(event("aa:bb:cc:00:00:01").value("isUploaded").toBool(), true);
        QCOMPARE(m_client->api("POST", "scheduled_event/999/log", status).status, 404);
        // A device without an event, and one that is not activated, have none.
        const HttpReply none = m_client->lastEvent("aa:bb:cc:00:00:02");
        QCOMPARE(none.status, 200);
        QVERIFY(none.data().contains("campaignEvent"));
        QVERIFY(event("aa:bb:cc:00:00:02").isEmpty());
        QVERIFY(event("aa:bb:cc:00:00:03").isEmpty());
    }

    void signedLinkServesTheFile()
    {
        const QJsonObject asset = m_client->asset(42, 0);
        m_secrets << asset.value("signature").toString().toUtf8();
        const HttpReply reply = HttpProbe().fetch(HttpProbe::signedUrl(asset));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, fileBytes("a.jpg"));
        QCOMPARE(reply.headers.value("content-type"), QByteArray("image/jpeg"));
        QCOMPARE(reply.headers.value("content-length").toInt(), reply.body.size());
        QCOMPARE(reply.headers.value("content-disposition"), QByteArray("attachment; filename=\"a.jpg\""));
        // The link's name and the disposition come from the fixture.
        const QJsonObject named = m_client->asset(43, 0);
        QVERIFY(named.value("link").toString().endsWith(QLatin1String("/shown%20name.png")));
        const HttpReply shown = HttpProbe().fetch(HttpProbe::signedUrl(named));
        QCOMPARE(shown.body, fileBytes("b.png"));
        // Quotes are dropped so that the header stays well-formed; the path is
        // passed on for the client to defuse.
        QCOMPARE(shown.headers.value("content-disposition"), QByteArray("attachment; filename=\"../../etc/evil.png\""));
    }

    void badLinksAreRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");
        QTest::newRow("no signature") << "drop" << 403;
        QTest::newRow("altered signature") << "alter" << 403;
        QTest::newRow("later expiry") << "extend" << 403;
        QTest::newRow("signature of another file") << "swap" << 403;
        QTest::newRow("extra parameter") << "extra" << 403;
        QTest::newRow("name of another file") << "rename" << 404;
        QTest::newRow("unknown key") << "key" << 404;
        QTest::newRow("with a bearer") << "bearer" << 400;
    }
    void badLinksAreRefused()
    {
        QFETCH(QString, change);
        QFETCH(int, status);
        const QJsonObject asset = m_client->asset(42, 0);
        QString link = asset.value("link").toString();
        QString signature = asset.value("signature").toString();
        HttpProbe::Headers headers;
        if (change == QLatin1String("alter")) {
            signature[signature.size() - 1] = signature.endsWith(QLatin1Char('0')) ? QLatin1Char('1') : QLatin1Char('0');
        } else if (change == QLatin1String("extend")) {
            const QString expires = QUrlQuery(signature).queryItemValue("expires");
            signature.replace(expires, QString::number(expires.toLongLong() + 1000));
        } else if (change == QLatin1String("swap")) {
            signature = m_client->asset(42, 1).value("signature").toString();
        } else if (change == QLatin1String("extra")) {
            signature += "&x=1";
        } else if (change == QLatin1String("rename")) {
            link.replace("/a.jpg", "/fw.dfu");
        } else if (change == QLatin1String("key")) {
            link = m_sim->rootUrl() + "files/999/a.jpg";
        } else if (change == QLatin1String("bearer")) {
            headers.append({"Authorization", "Bearer " + m_client->authToken});
        }
        const QUrl url = change == QLatin1String("drop") ? QUrl(link) : QUrl(link + '?' + signature);
        const HttpReply reply = HttpProbe().send("GET", url, headers);
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.body.contains("sample file"));
    }

    // What the tests above did, as the record shows it.
    void recordShowsWhatClientsDid()
    {
        const QJsonObject record = m_sim->record().value("record").toObject();
        const QJsonArray registrations = record.value("registrations").toArray();
        QCOMPARE(fields(registrations.last().toObject(), {"macAddress", "location", "created", "firmwareOffered"}),
                 (QStringList{"aa:bb:cc:00:00:77", "Default place", "[true]", "[false]"}));
        QVERIFY(QDateTime::fromString(registrations.last().toObject().value("time").toString(), Qt::ISODateWithMs).isValid());
        QCOMPARE(entryWith(registrations, "firmwareOffered", true).value("macAddress").toString(), QStringLiteral("aa:bb:cc:00:00:01"));
        const QJsonObject update = entryWith(record.value("deviceUpdates").toArray(), "pathMac", "aa:bb:cc:00:00:01");
        QCOMPARE(update.value("tamoId").toArray(), (QJsonArray{5001, 5003}));
        QCOMPARE(update.value("postId").toArray(), (QJsonArray{6001}));
        // The devices as they stand carry the reported content.
        QCOMPARE(entryWith(m_sim->record().value("devices").toArray(), "mac", "aa:bb:cc:00:00:01").value("tamoIds").toArray(),
                 (QJsonArray{5001, 5003}));
        QCOMPARE(fields(record.value("uploadStatus").toArray().last().toObject(), {"eventId", "status"}),
                 (QStringList{"[42]", "success"}));
        const QJsonArray erasures = record.value("erasures").toArray();
        QCOMPARE(erasures.size(), 1);
        QCOMPARE(fields(erasures.at(0).toObject(), {"mac", "wasRequested"}), (QStringList{"aa:bb:cc:00:00:02", "[true]"}));
        const QJsonArray logins = record.value("logins").toArray();
        QCOMPARE(logins.at(0).toObject().value("result").toString(), QStringLiteral("wrong password"));
        QCOMPARE(logins.at(1).toObject().value("result").toString(), QStringLiteral("ok"));
        QCOMPARE(record.value("tokenRefreshes").toArray().at(0).toObject().value("userId").toInt(), 7);
    }

    void requestsShowWhatWasSent()
    {
        QHash<QString, QJsonObject> last; // the last request of each path, all files as one
        for (const QJsonValue &value : m_sim->requests()) {
            const QString path = value.toObject().value("path").toString();
            last.insert(path.startsWith(QLatin1String("files/")) ? QStringLiteral("files/") : path, value.toObject());
        }
        const QJsonObject lookup = last.value("tamo_device"), file = last.value("files/"), login = last.value("signin/");
        QCOMPARE(fields(lookup, {"method", "status", "bearer"}), (QStringList{"GET", "[200]", "[true]"}));
        // The target as it came over the wire, percent-encoded by the sender.
        QVERIFY(lookup.value("target").toString().startsWith(QLatin1String("/api/v1/tamo_device?where=")));
        QCOMPARE(fields(lookup.value("headers").toObject(), {"Content-Type", "Authorization"}),
                 (QStringList{"application/json", "***"}));
        QCOMPARE(login.value("bearer").toBool(), false);
        // A file link is recorded without its signature.
        QVERIFY(!file.isEmpty());
        QVERIFY(!file.value("target").toString().contains(QLatin1Char('?')));
        // The record is read, not written.
        QCOMPARE(HttpProbe().send("POST", QUrl(m_sim->rootUrl() + "_sim/record"), {}, "x").status, 405);
    }

    void noSecretIsKept()
    {
        const QJsonObject shown = m_sim->record();
        QCOMPARE(stateFile(), shown);
        QFile file(statePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray state = file.readAll();
        const QByteArray record = QJsonDocument(shown).toJson(QJsonDocument::Compact);
        QCOMPARE(m_secrets.size(), 16);
        for (const QByteArray &secret : m_secrets) {
            QVERIFY(!secret.isEmpty());
            QVERIFY2(!state.contains(secret) && !record.contains(secret), secret.constData());
        }
    }

    void stateFileIsCompleteAfterTheStop()
    {
        QCOMPARE(m_client->api("POST", "scheduled_event/42/log",
                               {{"macAddress", "aa:bb:cc:00:00:01"}, {"status", "failed"}, {"errorMessage", "Device busy"}}).status,
                 200);
        m_sim.reset();
        const QJsonArray statuses = stateFile().value("record").toObject().value("uploadStatus").toArray();
        QCOMPARE(fields(statuses.last().toObject(), {"status", "errorMessage"}), (QStringList{"failed", "Device busy"}));
    }

    void badFixturesAreRefused_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("index"); // -1: the object itself
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("misspelt key") << "devices" << 0 << "toErrase" << QJsonValue(true)
                                      << "devices[0]: unexpected key 'toErrase'";
        QTest::newRow("default not in the event") << "events" << 1 << "defaultContentId" << QJsonValue(5002)
                                                  << "events[1]: 'defaultContentId' must be one of 'contentIds'";
        QTest::newRow("file outside the folder") << "firmware" << -1 << "file" << QJsonValue("../outside.dfu")
                                                 << "must be a path inside the files folder";
    }
    void badFixturesAreRefused()
    {
        QFETCH(QString, list);
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, message);
        QJsonObject fixture = sampleFixture();
        QJsonArray array = fixture.value(list).toArray();
        QJsonObject entry = index < 0 ? fixture.value(list).toObject() : array.at(index).toObject();
        entry.insert(key, value);
        if (index >= 0)
            array.replace(index, entry);
        fixture.insert(list, index < 0 ? QJsonValue(entry) : QJsonValue(array));
        const CloudSim sim(fixture, {}, sampleFiles());
        QVERIFY(!sim.isRunning());
        QVERIFY2(sim.failure().contains(message), qPrintable(sim.failure()));
    }
};

QTEST_GUILESS_MAIN(TestCloudSimServer)
#include "tst_cloudsim_server.moc"
