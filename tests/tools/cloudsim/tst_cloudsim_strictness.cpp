// The simulator refuses what the cloud contract does not allow, with the
// status a client must be ready for: every check of the request, one by one.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QJsonArray>
#include <QtTest>

class TestCloudSimStrictness : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

    HttpReply call(const QByteArray &method, const QString &path, const HttpProbe::Headers &headers,
                   const QByteArray &body = QByteArray())
    {
        return m_client->send(method, m_client->url(path), headers, body);
    }
    HttpProbe::Headers jsonAuth() const
    {
        return {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + m_client->authToken}};
    }
    QJsonObject updateBody() const
    {
        return {{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:01")},
                {QStringLiteral("mobilePlatform"), QStringLiteral("usb")}};
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

    void unknownPathIs404()
    {
        QCOMPARE(m_client->api("GET", QStringLiteral("no/such/path")).status, 404);
        // Paths are exact: no trailing slash where the contract has none.
        QCOMPARE(m_client->api("GET", QStringLiteral("setting/platform/")).status, 404);
        QCOMPARE(m_client->api("GET", QStringLiteral("user/")).status, 404);
        QCOMPARE(m_client->api("GET", QStringLiteral("signin")).status, 404);
        QCOMPARE(m_client->send("GET", QUrl(m_sim.baseUrl().replace(QStringLiteral("/api/v1/"), QStringLiteral("/api/v2/setting/platform")))).status, 404);
    }

    void wrongMethodIs405WithAllow()
    {
        const HttpReply reply = m_client->api("POST", QStringLiteral("setting/platform"),
                                              QJsonObject{{QStringLiteral("a"), 1}});
        QCOMPARE(reply.status, 405);
        QCOMPARE(reply.headers.value("allow"), QByteArray("GET"));
        QCOMPARE(m_client->api("GET", QStringLiteral("signin/")).status, 405);
        QCOMPARE(m_client->api("DELETE", QStringLiteral("user/7")).status, 405);
        QCOMPARE(m_client->api("GET", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:01")).status, 405);
        QCOMPARE(m_client->api("PUT", QStringLiteral("tamo_device_usb"), updateBody()).status, 405);
    }

    void contentTypeMustBeJson()
    {
        const HttpReply missing = call("GET", QStringLiteral("setting/platform"),
                                       {{"Authorization", "Bearer " + m_client->authToken}});
        QCOMPARE(missing.status, 415);
        QCOMPARE(missing.message(), QStringLiteral("Content-Type must be application/json"));
        QCOMPARE(call("GET", QStringLiteral("setting/platform"),
                      {{"Content-Type", "text/plain"}, {"Authorization", "Bearer " + m_client->authToken}})
                     .status,
                 415);
        QCOMPARE(call("GET", QStringLiteral("setting/platform"),
                      {{"Content-Type", "application/json; charset=utf-8"},
                       {"Authorization", "Bearer " + m_client->authToken}})
                     .status,
                 415);
        // The check holds for calls without a token too.
        QCOMPARE(call("POST", QStringLiteral("signin/"), {{"Content-Type", "application/x-www-form-urlencoded"}},
                      "email=a&password=b")
                     .status,
                 415);
    }

    void bearerIsRequiredAndExact_data()
    {
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("Authorization required");
        QTest::newRow("lower-case scheme") << QByteArray("bearer TOKEN") << QStringLiteral("Authorization required");
        QTest::newRow("two spaces") << QByteArray("Bearer  TOKEN") << QStringLiteral("Authorization required");
        QTest::newRow("no token") << QByteArray("Bearer ") << QStringLiteral("Authorization required");
        QTest::newRow("not a JWT") << QByteArray("Bearer abc.def") << QStringLiteral("Invalid token");
        QTest::newRow("tampered") << QByteArray("Bearer TAMPERED") << QStringLiteral("Invalid token");
    }
    void bearerIsRequiredAndExact()
    {
        QFETCH(QByteArray, authorization);
        QFETCH(QString, message);
        QByteArray token = m_client->authToken;
        token[token.size() - 2] = token.at(token.size() - 2) == 'A' ? 'B' : 'A';
        authorization.replace("TAMPERED", token);
        authorization.replace("TOKEN", m_client->authToken);
        HttpProbe::Headers headers{{"Content-Type", "application/json"}};
        if (!authorization.isEmpty())
            headers.append({"Authorization", authorization});
        for (const QString &path : {QStringLiteral("setting/platform"), QStringLiteral("user/7"),
                                    QStringLiteral("company/1"), QStringLiteral("installation?type=dfu")}) {
            const HttpReply reply = call("GET", path, headers);
            QCOMPARE(reply.status, 401);
            QCOMPARE(reply.message(), message);
        }
    }

    void callsWithoutTokenRefuseOne()
    {
        const QByteArray login = HttpProbe::indented({{QStringLiteral("email"), QStringLiteral("manager@acme.example")},
                                                      {QStringLiteral("password"), QStringLiteral("s3cret-Pass")}});
        HttpReply reply = call("POST", QStringLiteral("signin/"), jsonAuth(), login);
        QCOMPARE(reply.status, 400);
        QCOMPARE(reply.message(), QStringLiteral("This call takes no Authorization header"));
        QCOMPARE(call("POST", QStringLiteral("refresh_token/"), jsonAuth(),
                      HttpProbe::indented({{QStringLiteral("token"), QString::fromUtf8(m_client->refreshToken)}}))
                     .status,
                 400);
        QCOMPARE(call("GET", QStringLiteral("tamo_device_usb/upgrade"), jsonAuth()).status, 400);
        // Without the header the same calls pass.
        QCOMPARE(call("GET", QStringLiteral("tamo_device_usb/upgrade"), {{"Content-Type", "application/json"}}).status,
                 200);
    }

    void getCarriesNoBody()
    {
        const HttpReply reply = call("GET", QStringLiteral("setting/platform"), jsonAuth(), "{}");
        QCOMPARE(reply.status, 400);
        QCOMPARE(reply.message(), QStringLiteral("A GET carries no body"));
    }

    void bodyMustBeIndentedSortedObject_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        const QByteArray good = "{\n    \"email\": \"manager@acme.example\",\n    \"password\": \"s3cret-Pass\"\n}\n";
        QTest::newRow("indented, sorted") << good << 200;
        QTest::newRow("compact") << QByteArray(R"({"email":"manager@acme.example","password":"s3cret-Pass"})") << 400;
        QTest::newRow("unsorted")
            << QByteArray("{\n    \"password\": \"s3cret-Pass\",\n    \"email\": \"manager@acme.example\"\n}\n") << 400;
        QTest::newRow("two-space indent")
            << QByteArray("{\n  \"email\": \"manager@acme.example\",\n  \"password\": \"s3cret-Pass\"\n}\n") << 400;
        QTest::newRow("array") << QByteArray("[\n]\n") << 400;
        QTest::newRow("not JSON") << QByteArray("email=x") << 400;
        QTest::newRow("empty") << QByteArray() << 400;
    }
    void bodyMustBeIndentedSortedObject()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        const HttpReply reply = call("POST", QStringLiteral("signin/"), {{"Content-Type", "application/json"}}, body);
        QCOMPARE(reply.status, status);
    }

    void bodyKeysAndTypesAreChecked_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QString>("message");
        const QJsonObject registration{{QStringLiteral("uuid"), QStringLiteral("aa:bb:cc:00:00:01")},
                                       {QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:01")},
                                       {QStringLiteral("userId"), 7},
                                       {QStringLiteral("location"), QStringLiteral("Hall")},
                                       {QStringLiteral("fwVersion"), QStringLiteral("1.5.30")}};
        QJsonObject extra = registration;
        extra.insert(QStringLiteral("name"), QStringLiteral("x"));
        QJsonObject missing = registration;
        missing.remove(QStringLiteral("fwVersion"));
        QJsonObject userIdText = registration;
        userIdText.insert(QStringLiteral("userId"), QStringLiteral("7"));
        QJsonObject uuidDiffers = registration;
        uuidDiffers.insert(QStringLiteral("uuid"), QStringLiteral("aa:bb:cc:00:00:09"));
        QTest::newRow("registration: unknown key") << QStringLiteral("tamo_device_usb") << extra
                                                   << QStringLiteral("unexpected key 'name'");
        QTest::newRow("registration: missing key") << QStringLiteral("tamo_device_usb") << missing
                                                   << QStringLiteral("missing key 'fwVersion'");
        QTest::newRow("registration: userId as text") << QStringLiteral("tamo_device_usb") << userIdText
                                                      << QStringLiteral("'userId' must be an integer");
        QTest::newRow("registration: uuid is not the MAC")
            << QStringLiteral("tamo_device_usb") << uuidDiffers
            << QStringLiteral("'uuid' and 'macAddress' must both hold the MAC address");

        const QJsonObject status{{QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:01")},
                                 {QStringLiteral("status"), QStringLiteral("done")},
                                 {QStringLiteral("errorMessage"), QString()}};
        QTest::newRow("upload status: unknown status text")
            << QStringLiteral("scheduled_event/42/log") << status
            << QStringLiteral("'status' must be one of: in progress, success, failed");
        QJsonObject noMessage = status;
        noMessage.insert(QStringLiteral("status"), QStringLiteral("failed"));
        noMessage.remove(QStringLiteral("errorMessage"));
        QTest::newRow("upload status: errorMessage missing") << QStringLiteral("scheduled_event/42/log") << noMessage
                                                             << QStringLiteral("missing key 'errorMessage'");
        QJsonObject otherDevice = status;
        otherDevice.insert(QStringLiteral("status"), QStringLiteral("success"));
        otherDevice.insert(QStringLiteral("macAddress"), QStringLiteral("aa:bb:cc:00:00:03"));
        QTest::newRow("upload status: event of another device")
            << QStringLiteral("scheduled_event/42/log") << otherDevice
            << QStringLiteral("Event 42 is not scheduled for aa:bb:cc:00:00:03");
        QTest::newRow("refresh: wrong key") << QStringLiteral("refresh_token/")
                                            << QJsonObject{{QStringLiteral("refreshToken"), QStringLiteral("x")}}
                                            << QStringLiteral("unexpected key 'refreshToken'");
    }
    void bodyKeysAndTypesAreChecked()
    {
        QFETCH(QString, path);
        QFETCH(QJsonObject, body);
        QFETCH(QString, message);
        const QByteArray kept = m_client->authToken;
        if (path.startsWith(QLatin1String("refresh")))
            m_client->authToken.clear();
        const HttpReply reply = m_client->api("POST", path, body);
        m_client->authToken = kept;
        QCOMPARE(reply.status, 400);
        QCOMPARE(reply.message(), message);
    }

    void updateBodyFollowsTheRules_data()
    {
        QTest::addColumn<QJsonObject>("changes");
        QTest::addColumn<QString>("message");
        QTest::newRow("erased false") << QJsonObject{{QStringLiteral("erased"), false}}
                                      << QStringLiteral("'erased' is sent only as true");
        QTest::newRow("empty name") << QJsonObject{{QStringLiteral("name"), QString()}}
                                    << QStringLiteral("'name' is sent only when not empty");
        QTest::newRow("empty serial") << QJsonObject{{QStringLiteral("serialNumber"), QString()}}
                                      << QStringLiteral("'serialNumber' is sent only when not empty");
        QTest::newRow("tamoId alone") << QJsonObject{{QStringLiteral("tamoId"), QJsonArray{5001}}}
                                      << QStringLiteral("'tamoId' and 'postId' come together");
        QTest::newRow("ids as text") << QJsonObject{{QStringLiteral("tamoId"), QJsonArray{QStringLiteral("5001")}},
                                                    {QStringLiteral("postId"), QJsonArray{}}}
                                     << QStringLiteral("'tamoId' must be an array of integers");
        QTest::newRow("lastPairedAt without zone")
            << QJsonObject{{QStringLiteral("lastPairedAt"), QStringLiteral("2024-05-01T10:00:00.000")}}
            << QStringLiteral("'lastPairedAt' must be ISO 8601 with milliseconds and a time zone");
        QTest::newRow("lastPairedAt without milliseconds")
            << QJsonObject{{QStringLiteral("lastPairedAt"), QStringLiteral("2024-05-01T10:00:00Z")}}
            << QStringLiteral("'lastPairedAt' must be ISO 8601 with milliseconds and a time zone");
        QTest::newRow("mac differs from the path") << QJsonObject{{QStringLiteral("mac"), QStringLiteral("aa:bb:cc:00:00:02")}}
                                                   << QStringLiteral("'mac' must be the MAC address of the path");
        QTest::newRow("another platform") << QJsonObject{{QStringLiteral("mobilePlatform"), QStringLiteral("ios")}}
                                          << QStringLiteral("'mobilePlatform' must be \"usb\"");
        QTest::newRow("mobilePlatform missing") << QJsonObject{{QStringLiteral("mobilePlatform"), QJsonValue()}}
                                                << QStringLiteral("missing key 'mobilePlatform'");
    }
    void updateBodyFollowsTheRules()
    {
        QFETCH(QJsonObject, changes);
        QFETCH(QString, message);
        QJsonObject body = updateBody();
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            if (it.value().isNull())
                body.remove(it.key());
            else
                body.insert(it.key(), it.value());
        }
        const HttpReply reply = m_client->api("PUT", QStringLiteral("account/tamo_device/aa:bb:cc:00:00:01"), body);
        QCOMPARE(reply.status, 400);
        QCOMPARE(reply.message(), message);
    }

    void deviceLookupFilterIsExact_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("status");
        QTest::newRow("exact") << QStringLiteral("where={\"mac\":\"aa:bb:cc:00:00:01\"}") << 200;
        QTest::newRow("percent-encoded") << QStringLiteral("where=%7B%22mac%22%3A%22aa%3Abb%3Acc%3A00%3A00%3A01%22%7D") << 200;
        QTest::newRow("with spaces") << QStringLiteral("where={\"mac\": \"aa:bb:cc:00:00:01\"}") << 400;
        QTest::newRow("other member") << QStringLiteral("where={\"uuid\":\"aa:bb:cc:00:00:01\"}") << 400;
        QTest::newRow("two members") << QStringLiteral("where={\"mac\":\"aa\",\"x\":1}") << 400;
        QTest::newRow("no where") << QStringLiteral("mac=aa:bb:cc:00:00:01") << 400;
        QTest::newRow("extra parameter") << QStringLiteral("where={\"mac\":\"aa:bb:cc:00:00:01\"}&limit=1") << 400;
    }
    void deviceLookupFilterIsExact()
    {
        QFETCH(QString, query);
        QFETCH(int, status);
        QCOMPARE(m_client->api("GET", QStringLiteral("tamo_device?") + query).status, status);
    }

    void contentInfoQueryIsExact_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("status");
        QTest::newRow("two uuids") << QStringLiteral("limit=1000&where={\"uuid\":[5001,5002]}") << 200;
        QTest::newRow("no uuid") << QStringLiteral("limit=1000&where={\"uuid\":[]}") << 200;
        QTest::newRow("quoted uuids") << QStringLiteral("limit=1000&where={\"uuid\":[\"5001\"]}") << 400;
        QTest::newRow("space after comma") << QStringLiteral("limit=1000&where={\"uuid\":[5001, 5002]}") << 400;
        QTest::newRow("other limit") << QStringLiteral("limit=100&where={\"uuid\":[5001]}") << 400;
        QTest::newRow("no limit") << QStringLiteral("where={\"uuid\":[5001]}") << 400;
    }
    void contentInfoQueryIsExact()
    {
        QFETCH(QString, query);
        QFETCH(int, status);
        QCOMPARE(m_client->api("GET", QStringLiteral("account/content/device?") + query).status, status);
    }

    void lastEventNeedsItsQueryAndHeaders_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("mac");
        QTest::addColumn<QByteArray>("desktop");
        QTest::addColumn<int>("status");
        const QString now = QDateTime::currentDateTime().toString(Qt::ISODate);
        const QString ok = QStringLiteral("useMacAddress=true&timestamp=") + now;
        QTest::newRow("complete") << ok << QByteArray("aa:bb:cc:00:00:01") << QByteArray("true") << 200;
        QTest::newRow("MAC in upper case") << ok << QByteArray("AA:BB:CC:00:00:01") << QByteArray("true") << 400;
        QTest::newRow("MAC header missing") << ok << QByteArray() << QByteArray("true") << 400;
        QTest::newRow("desktop header missing") << ok << QByteArray("aa:bb:cc:00:00:01") << QByteArray() << 400;
        QTest::newRow("desktop header 1") << ok << QByteArray("aa:bb:cc:00:00:01") << QByteArray("1") << 400;
        QTest::newRow("unknown device") << ok << QByteArray("aa:bb:cc:00:00:99") << QByteArray("true") << 404;
        QTest::newRow("useMacAddress false") << QStringLiteral("useMacAddress=false&timestamp=") + now
                                             << QByteArray("aa:bb:cc:00:00:01") << QByteArray("true") << 400;
        QTest::newRow("timestamp with milliseconds")
            << QStringLiteral("useMacAddress=true&timestamp=") + QDateTime::currentDateTime().toString(Qt::ISODateWithMs)
            << QByteArray("aa:bb:cc:00:00:01") << QByteArray("true") << 400;
        QTest::newRow("timestamp with zone")
            << QStringLiteral("useMacAddress=true&timestamp=") + QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
            << QByteArray("aa:bb:cc:00:00:01") << QByteArray("true") << 400;
        QTest::newRow("timestamp of yesterday")
            << QStringLiteral("useMacAddress=true&timestamp=") + QDateTime::currentDateTime().addDays(-1).toString(Qt::ISODate)
            << QByteArray("aa:bb:cc:00:00:01") << QByteArray("true") << 400;
        QTest::newRow("no timestamp") << QStringLiteral("useMacAddress=true") << QByteArray("aa:bb:cc:00:00:01")
                                      << QByteArray("true") << 400;
    }
    void lastEventNeedsItsQueryAndHeaders()
    {
        QFETCH(QString, query);
        QFETCH(QByteArray, mac);
        QFETCH(QByteArray, desktop);
        QFETCH(int, status);
        HttpProbe::Headers headers;
        if (!mac.isEmpty())
            headers.append({"X-Mac-Address", mac});
        if (!desktop.isEmpty())
            headers.append({"X-Is-Desktop-App", desktop});
        const HttpReply reply = m_client->api("GET", QStringLiteral("account/event/last?") + query, {}, headers);
        QVERIFY2(reply.status == status, reply.body.constData());
    }

    void installationTypeMustBeKnown()
    {
        QCOMPARE(m_client->api("GET", QStringLiteral("installation?type=")).status, 400);
        QCOMPARE(m_client->api("GET", QStringLiteral("installation?type=exe")).status, 400);
        QCOMPARE(m_client->api("GET", QStringLiteral("installation")).status, 400);
        QCOMPARE(m_client->api("GET", QStringLiteral("installation?type=dfu&type=pc")).status, 400);
        QCOMPARE(m_client->api("GET", QStringLiteral("setting/platform?x=1")).status, 400);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimStrictness)
#include "tst_cloudsim_strictness.moc"
