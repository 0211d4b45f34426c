// How calls end when things go wrong: an unknown host, error statuses with and
// without JSON (a gateway's page), a connection cut in the middle of an answer, a
// malformed answer, cancelling; links that are never fetched and files larger
// than allowed; the login's wording and role check; TLS with certificates made by
// openssl at test time, trusted only through TAMO_CA_CERTS at start-up; one pool
// of connections for every call; a real proxy (tinyproxy) that wants a user name
// and password. Also what the request family offers that no endpoint uses
// today: retries, multipart and device bodies.
#include "CloudSim.h"
#include "DownloadRequest.h"
#include "JWTAuthorizationManager.h"
#include "LogRecorder.h"
#include "MultiPartRequest.h"
#include "NetworkManager.h"
#include "SelfSignedCertificate.h"
#include "TinyProxy.h"
#include "TlsTrust.h"
#include "UploadDataRequest.h"
#include "requests/DownloadContentRequest.h"
#include "requests/FirmwareInfoRequest.h"

#include <QBuffer>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslError>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class FormUpload : public MultiPartRequest
{
public:
    QUrl url() const override { return apiUrl(QStringLiteral("upload/form")); }
    RawHeaders headers() const override { return {}; }
    Method method() const override { return Post; }

protected:
    QHttpMultiPart *multiPart() override
    {
        auto *parts = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"file\""));
        part.setBody("0123456789");
        parts->append(part);
        return parts;
    }
    void parseAnswer(const QByteArray &) override {}
};

class DeviceUpload : public UploadDataRequest
{
public:
    QUrl url() const override { return apiUrl(QStringLiteral("upload/raw")); }
    RawHeaders headers() const override { return {{"Content-Type", "application/octet-stream"}}; }
    Method method() const override { return Put; }

protected:
    QIODevice *uploadDevice() override
    {
        auto *buffer = new QBuffer;
        buffer->setData(QByteArray(1000, 'x'));
        return buffer; // opened by the framework
    }
    void parseAnswer(const QByteArray &) override {}
};

QJsonObject fixture()
{
    const auto user = [](int id, const char *email, const char *password, const char *role) {
        return QJsonObject{{"id", id}, {"email", email}, {"password", password}, {"role", role}, {"companyId", 1}};
    };
    return QJsonObject{
        {"minFWVersion", "1.5.28"},
        {"companies", QJsonArray{QJsonObject{{"id", 1}, {"title", "Acme"}}}},
        {"users", QJsonArray{CloudSim::operatorUser(), user(8, "boss@acme.test", "Boss-2", "Admin"),
                             user(9, "field@acme.test", "Field-3", "user")}},
        {"contents", QJsonArray{QJsonObject{{"id", 101}, {"uuid", 5001}, {"file", "a.jpg"}}}},
        {"devices", QJsonArray{QJsonObject{{"mac", "aa:bb:cc:00:00:01"}, {"activated", true}}}},
        {"events", QJsonArray{QJsonObject{{"id", 42}, {"mac", "aa:bb:cc:00:00:01"}, {"contentIds", QJsonArray{5001}},
                                          {"defaultContentId", 5001}}}},
    };
}

} // namespace

class TestNetFailures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(makeSelfSignedCertificate(m_certificates.path(), "good"));
        QVERIFY(makeSelfSignedCertificate(m_certificates.path(), "wrongname", "elsewhere.test"));
        qunsetenv(TlsTrust::kEnvironmentVariable);
    }

    void cleanup()
    {
        m_cloud.reset();
        qunsetenv("https_proxy");
        qunsetenv(TlsTrust::kEnvironmentVariable);
    }

    // In this order: trust, once given, stays for the process.
    void tlsTrust_data()
    {
        QTest::addColumn<QString>("served");  // the certificate the simulator serves
        QTest::addColumn<QString>("trusted"); // TAMO_CA_CERTS when the client starts
        QTest::addColumn<QString>("error");   // in the login's error text; empty: accepted
        QTest::newRow("untrusted") << "good" << "" << QSslError(QSslError::SelfSignedCertificate).errorString();
        QTest::newRow("trusted from the environment") << "good" << "good" << "";
        QTest::newRow("trusted, but for another host")
            << "wrongname" << "wrongname" << QSslError(QSslError::HostNameMismatch).errorString();
    }

    void tlsTrust()
    {
        QFETCH(QString, served);
        QFETCH(QString, trusted);
        QFETCH(QString, error);
        const QString base = m_certificates.filePath(served);
        if (!trusted.isEmpty())
            qputenv(TlsTrust::kEnvironmentVariable, QFile::encodeName(m_certificates.filePath(trusted + ".crt")));
        QVERIFY(m_cloud.start(fixture(), {"--tls-cert", base + ".crt", "--tls-key", base + ".key"}));
        QVERIFY(sim()->baseUrl().startsWith(QStringLiteral("https://")));
        sim()->setCaCertificate(base + ".crt");
        // A refused certificate stays refused: nothing is trusted on the way.
        QSignalSpy logined(net(), &NetworkManager::logined);
        for (int attempt = 0; attempt < 2; ++attempt) {
            net()->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
            QVERIFY(logined.wait(10000));
            QCOMPARE(logined.at(attempt).at(0).toBool(), error.isEmpty());
            const QString text = logined.at(attempt).at(1).toString();
            QVERIFY2(text.contains(error) && text.isEmpty() == error.isEmpty(), qPrintable(text));
        }
        QCOMPARE(net()->authorizationManager()->hasTokens(), error.isEmpty());
        if (served == QLatin1String("good")) // no request got through a refused handshake
            QCOMPARE(sim()->requests("signin/").size(), error.isEmpty() ? 2 : 0);
    }

    void unknownHostIsUnreachable()
    {
        qputenv("TAMO_API_URL", "http://tamo-cloud.invalid/api/v1/");
        auto request = std::make_unique<FirmwareInfoRequest>();
        QSignalSpy finished(request.get(), &Request::finished);
        request->slotSend();
        QVERIFY(finished.wait(20000));
        QCOMPARE(request->status(), Request::TransportError);
        QCOMPARE(request->networkError(), int(QNetworkReply::HostNotFoundError));
        QCOMPARE(request->httpStatusCode(), 0);
        QCOMPARE(request->errorString(), QStringLiteral("Network unreachable"));
    }

    void answersEndAs_data()
    {
        QTest::addColumn<QStringList>("faults"); // "BODY" stands for the file of the answer below
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text"); // "*": any text but an empty one
        const QByteArray gatewayPage("<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n"
                                     "<center><h1>502 Bad Gateway</h1></center>\r\n</body>\r\n</html>\r\n");
        QTest::newRow("no content") << QStringList{"--reply", "setting/platform=204:BODY.json"} << QByteArray()
                                    << int(Request::NoError) << "";
        // Not the cloud's JSON: the status and the first line of what the page says.
        QTest::newRow("html error page") << QStringList{"--fail", "setting/platform=500"} << QByteArray()
                                         << int(Request::UnknownError) << "HTTP 500 Internal Server Error: 500 Error";
        QTest::newRow("gateway page") << QStringList{"--reply", "setting/platform=502:BODY.html"} << gatewayPage
                                      << int(Request::UnknownError) << "HTTP 502 Bad Gateway";
        QTest::newRow("plain text")
            << QStringList{"--reply", "setting/platform=503:BODY.txt"}
            << QByteArray("\n  upstream connect error or disconnect/reset before headers\nreset reason: overflow\n")
            << int(Request::UnknownError)
            << "HTTP 503 Service Unavailable: upstream connect error or disconnect/reset before headers";
        QTest::newRow("long line cut") << QStringList{"--reply", "setting/platform=503:BODY.txt"}
                                       << QByteArray(300, 'x') << int(Request::UnknownError)
                                       << "HTTP 503 Service Unavailable: " + QString(119, 'x') + QChar(0x2026);
        QTest::newRow("empty error") << QStringList{"--reply", "setting/platform=502:BODY.json"} << QByteArray()
                                     << int(Request::UnknownError) << "HTTP 502 Bad Gateway";
        QTest::newRow("json without messages") << QStringList{"--reply", "setting/platform=500:BODY.json"}
                                               << QByteArray(R"({"statusCode":500})") << int(Request::UnknownError)
                                               << R"(HTTP 500 Internal Server Error: {"statusCode":500})";
        QTest::newRow("json error messages joined")
            << QStringList{"--reply", "setting/platform=400:BODY.json"}
            << QByteArray(R"({"statusCode":400,"b":"second","a":["first"]})") << int(Request::UnknownError)
            << "first\nsecond";
        // The endpoint answers 200; half its body arrives, then the connection ends.
        QTest::newRow("cut mid-answer") << QStringList{"--close-mid-answer", "setting/platform"} << QByteArray()
                                        << int(Request::TransportError) << "*";
        // A 2xx answer that is no JSON document raises no error; nothing is read.
        QTest::newRow("malformed") << QStringList{"--malformed", "setting/platform"} << QByteArray()
                                   << int(Request::NoError) << "";
    }

    void answersEndAs()
    {
        QFETCH(QStringList, faults);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, text);
        QTemporaryDir dir;
        for (QString &fault : faults) {
            const int at = fault.indexOf(QLatin1String("BODY."));
            if (at >= 0)
                fault = fault.left(at) + writeFile(dir, qPrintable("answer" + fault.mid(at + 4)), body);
        }
        QVERIFY(start(faults));
        QVERIFY(m_cloud.login());
        FirmwareInfoRequest request;
        QVERIFY(finish(request));
        QCOMPARE(int(request.status()), status);
        QVERIFY(request.minFwVersion().isEmpty());
        // The facade says the same.
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), status == Request::NoError);
        for (const QString &said : {request.errorString(), fw.at(0).at(2).toString()}) {
            if (text == QLatin1String("*"))
                QVERIFY(!said.isEmpty());
            else
                QCOMPARE(said, text);
        }
    }

    void failuresWithoutAnErrorText()
    {
        QVERIFY(start({"--fail", "company/1=403:No access to company", "--close-mid-answer", "files/*"}));
        QVERIFY(m_cloud.login());
        QSignalSpy company(net(), &NetworkManager::companyInfoLoaded);
        net()->loadCompanyInfo(1);
        QVERIFY(!company.wait(500));
        QVERIFY(net()->userInfo()->companyName.isEmpty());

        // A picture cut short is a failed download, not a short picture.
        QSignalSpy files(net(), &NetworkManager::contentsReady);
        UrlData file;
        file.type = ImageType;
        file.link = sim()->rootUrl() + QStringLiteral("files/1/a.jpg");
        net()->downloadContent(file);
        QVERIFY(files.wait(5000));
        QCOMPARE(files.at(0).at(0).toBool(), false);
    }

    // A link from the cloud (a picture's, or the firmware a registration
    // offers) that is not https is stopped where every file is fetched, before
    // any traffic.
    void linksAreFetchedOverHttpsOnly_data()
    {
        QTest::addColumn<QString>("link");   // "SIM/" stands for the simulator's root
        QTest::addColumn<QString>("apiUrl"); // empty: the simulator's (plain http)
        QTest::addColumn<bool>("fetched");
        QTest::newRow("local file") << "file:///etc/hostname" << "" << false;
        QTest::newRow("ftp") << "ftp://127.0.0.1/files/1/a.jpg" << "" << false;
        QTest::newRow("data") << "data:text/plain;base64,c2VjcmV0" << "" << false;
        QTest::newRow("http while the API is https") << "SIM/files/1/a.jpg" << "https://cloud.invalid/api/v1/"
                                                     << false;
        // A local test set-up: the API itself is plain http.
        QTest::newRow("http while the API is http") << "SIM/files/1/a.jpg" << "" << true;
    }

    void linksAreFetchedOverHttpsOnly()
    {
        QFETCH(QString, link);
        QFETCH(QString, apiUrl);
        QFETCH(bool, fetched);
        QVERIFY(start({}));
        UrlData file; // a firmware offer: no picture type
        file.link = link.replace(QLatin1String("SIM/"), sim()->rootUrl());
        file.signature = QStringLiteral("s");
        if (!apiUrl.isEmpty())
            qputenv("TAMO_API_URL", apiUrl.toUtf8());
        DownloadContentRequest request;
        request.setFile(file);
        QVERIFY(finish(request));
        QSignalSpy files(net(), &NetworkManager::contentsReady);
        net()->downloadContent(file);
        QVERIFY(files.wait(5000));
        QCOMPARE(sim()->requests("files/1/a.jpg").size(), fetched ? 2 : 0);
        if (fetched)
            return;
        QCOMPARE(request.status(), Request::RefusedLinkError);
        QCOMPARE(request.errorString(),
                 "The link " + QUrl(link).toDisplayString(QUrl::RemoveQuery) + " was not fetched: files come only over https");
        QVERIFY(request.data().isEmpty());
        QCOMPARE(files.at(0).at(0).toBool(), false);
        QVERIFY(files.at(0).at(1).value<ImageData>().frames.value(0).data.isEmpty());
    }

    // Refused by the length the answer announces before its body arrives, or by
    // the count of what arrived when it announces none.
    void filesLargerThanAllowedAreRefused_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<QString>("text"); // empty: accepted
        const qint64 picture = DownloadRequest::MaxPictureBytes;
        const qint64 firmware = DownloadRequest::MaxFirmwareBytes;
        const QString pictureText = QStringLiteral("The picture is larger than the 50 MiB allowed");
        const QString firmwareText = QStringLiteral("The firmware file is larger than the 16 MiB allowed");
        QTest::newRow("picture at the limit") << int(ImageType) << picture << true << "";
        QTest::newRow("picture over, announced") << int(GifType) << picture + 1 << true << pictureText;
        QTest::newRow("picture over, unannounced") << int(ImageType) << picture + 1 << false << pictureText;
        QTest::newRow("firmware at the limit, unannounced") << int(UndefinedType) << firmware << false << "";
        QTest::newRow("firmware over, announced") << int(UndefinedType) << firmware + 1 << true << firmwareText;
        QTest::newRow("firmware over, unannounced") << int(UndefinedType) << firmware + 1 << false << firmwareText;
    }

    void filesLargerThanAllowedAreRefused()
    {
        QFETCH(int, type);
        QFETCH(qint64, size);
        QFETCH(bool, announced);
        QFETCH(QString, text);
        const QStringList faults = announced ? QStringList() : QStringList{"--chunked", "files/*"};
        QVERIFY(m_cloud.start(fixture(), faults, QMap<QString, QByteArray>{{"a.jpg", QByteArray(size, 'x')}}));
        UrlData file = campaignFile();
        QVERIFY(!file.signature.isEmpty());
        file.type = type;
        DownloadContentRequest request;
        request.setFile(file);
        QVERIFY(finish(request, 60000));
        QCOMPARE(sim()->requests(QUrl(file.link).path().mid(1)).size(), 1);
        if (text.isEmpty()) {
            QCOMPARE(request.status(), Request::NoError);
            QCOMPARE(request.data().size(), size);
            return;
        }
        QCOMPARE(request.status(), Request::TooLargeError);
        QCOMPARE(request.errorString(), text);
        QVERIFY(request.data().isEmpty());
    }

    // One pool for every call: a second call to the same host opens no new
    // connection, and calls side by side share at most Qt's six.
    void connectionsAreReused_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }

    void connectionsAreReused()
    {
        QFETCH(bool, tls);
        QStringList args;
        if (tls) {
            const QString base = m_certificates.filePath("good");
            qputenv(TlsTrust::kEnvironmentVariable, QFile::encodeName(base + ".crt"));
            args = QStringList{"--tls-cert", base + ".crt", "--tls-key", base + ".key"};
        }
        QVERIFY(start(args));
        if (tls)
            sim()->setCaCertificate(m_certificates.filePath("good.crt"));
        QVERIFY(m_cloud.login());
        const CloudSim::Connections first = sim()->connections();
        QCOMPARE(first.accepted, 1);
        QCOMPARE(first.tlsHandshakes, tls ? 1 : -1);

        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        const CloudSim::Connections second = sim()->connections();
        QCOMPARE(second.accepted, first.accepted);
        QCOMPARE(second.tlsHandshakes, first.tlsHandshakes);

        QSignalSpy registered(net(), &NetworkManager::usbDeviceRegistered);
        QList<NetworkManager::DeviceHash> devices;
        for (int i = 0; i < 20; ++i)
            devices.append({{NetworkManager::MacAddressKey, QStringLiteral("aa:bb:cc:00:01:%1").arg(i, 2, 10, QLatin1Char('0'))}});
        net()->registerUsbDevices(devices, QString());
        QTRY_COMPARE_WITH_TIMEOUT(registered.count(), 20, 10000);
        QVERIFY(sim()->connections().accepted <= 6);
        QCOMPARE(sim()->requests("tamo_device_usb").size(), 20);
    }

    // Through a real proxy that wants a user name and password, by the
    // environment's https_proxy: with them in its address the calls of a
    // publishing pass go through it; without them the call fails and says why,
    // at once. The proxy's password reaches no log line.
    void throughAProxy_data()
    {
        QTest::addColumn<bool>("credentials");
        QTest::newRow("user name and password in the address") << true;
        QTest::newRow("none given") << false;
    }

    void throughAProxy()
    {
        QFETCH(bool, credentials);
        QString address;
        const QString name = TinyProxy::localLoopbackName(&address);
        if (name.isEmpty())
            QSKIP("this machine's name resolves to no loopback address");
        TinyProxy proxy(QStringLiteral("tamo"), QStringLiteral("Proxy-Secret-9"));
        QVERIFY2(proxy.isRunning(), qPrintable(proxy.failure()));
        QVERIFY(makeSelfSignedCertificate(m_certificates.path(), "named", name));
        const QString base = m_certificates.filePath("named");
        qputenv(TlsTrust::kEnvironmentVariable, QFile::encodeName(base + ".crt"));
        const QString proxyAddress = credentials ? proxy.address("tamo", "Proxy-Secret-9") : proxy.address();
        qputenv("https_proxy", proxyAddress.toUtf8());
        LogRecorder log;
        QVERIFY(m_cloud.start(fixture(),
                              {"--tls-cert", base + ".crt", "--tls-key", base + ".key", "--url-host", name,
                               "--listen", address},
                              QMap<QString, QByteArray>{{"a.jpg", "jpeg-bytes-0123456789"}}));
        sim()->setCaCertificate(base + ".crt");
        QSignalSpy logined(net(), &NetworkManager::logined);
        net()->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        if (!credentials) {
            QCOMPARE(logined.at(0).at(0).toBool(), false);
            QCOMPARE(logined.at(0).at(1).toString(), "the proxy at 127.0.0.1 needs a user name and password");
            QVERIFY(sim()->requests().isEmpty());
            // A loopback address never goes through it.
            const QString local = m_certificates.filePath("good");
            qputenv(TlsTrust::kEnvironmentVariable, QFile::encodeName(local + ".crt"));
            QVERIFY(m_cloud.start(fixture(), {"--tls-cert", local + ".crt", "--tls-key", local + ".key"}));
            QVERIFY(m_cloud.login());
        } else {
            QCOMPARE(logined.at(0).at(0).toBool(), true);
            publishingPass();
            const QString tunnel = QStringLiteral("CONNECT %1:%2").arg(name).arg(QUrl(sim()->baseUrl()).port());
            QVERIFY2(proxy.log().contains(tunnel), qPrintable(proxy.log()));
            // The simulator saw the proxy's tunnels only, few for many calls.
            QVERIFY(sim()->connections().accepted <= 6);
        }
        for (const QString &line : log.lines())
            QVERIFY2(!line.contains(QStringLiteral("Proxy-Secret-9")), qPrintable(line));
        QVERIFY(log.count(QStringLiteral("through the proxy at 127.0.0.1")) > 0);
    }

    void loginWording_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasUser");
        QTest::newRow("manager") << "op@acme.test" << "Op-Pass-1" << true << "" << true;
        QTest::newRow("admin, any case") << "boss@acme.test" << "Boss-2" << true << "" << true;
        QTest::newRow("other role") << "field@acme.test" << "Field-3" << false
                                    << "You have no permission to authorize into the application." << true;
        QTest::newRow("wrong password") << "op@acme.test" << "nope" << false
                                        << "Email and PW do not match. Please re-enter." << false;
    }

    void loginWording()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(bool, success);
        QFETCH(QString, text);
        QFETCH(bool, hasUser);
        QVERIFY(start({}));
        QSignalSpy logined(net(), &NetworkManager::logined);
        net()->login(email, password);
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(0).at(0).toBool(), success);
        QCOMPARE(logined.at(0).at(1).toString(), text);
        QCOMPARE(net()->userInfo() != nullptr, hasUser);
        // A refused role keeps the record and the tokens.
        QCOMPARE(net()->authorizationManager()->hasTokens(), hasUser);
        if (hasUser)
            QCOMPARE(net()->userInfo()->role, net()->userInfo()->role.toLower());
    }

    void emptyCredentialsNeverLeave()
    {
        QVERIFY(start({}));
        QSignalSpy logined(net(), &NetworkManager::logined);
        net()->login(QStringLiteral("op@acme.test"), QString());
        net()->login(QString(), QStringLiteral("Op-Pass-1"));
        QCOMPARE(logined.count(), 2); // at once
        QCOMPARE(logined.at(0).at(1).toString(), QStringLiteral("Email and password can not be empty"));
        QCOMPARE(logined.at(1).at(0).toBool(), false);
        QVERIFY(sim()->requests("signin/").isEmpty());

        // No user, no logo address: nothing is asked and nothing is emitted.
        QSignalSpy images(net(), &NetworkManager::imageDownloaded);
        net()->downloadImage(NetworkManager::CompanyLogoKey);
        QVERIFY(!images.wait(300));
    }

    void cancelling()
    {
        qputenv("TAMO_API_URL", "http://127.0.0.1:9/api/v1/");
        FirmwareInfoRequest never;
        QSignalSpy finished(&never, &Request::finished);
        never.slotCancel();
        QCOMPARE(finished.count(), 0);
        never.slotCancelWithError();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(never.status(), Request::UnknownError);
        QCOMPARE(never.errorString(), QStringLiteral("Unknown error"));

        // An abort in flight ends the request as cancelled.
        QVERIFY(start({"--latency-ms", "500"}));
        FirmwareInfoRequest slow;
        QSignalSpy slowFinished(&slow, &Request::finished);
        QSignalSpy started(&slow, &Request::started);
        slow.slotSend();
        QCOMPARE(started.count(), 1);
        QTest::qWait(50);
        slow.slotCancelWithError();
        QVERIFY(slowFinished.wait(2000));
        QCOMPARE(slow.status(), Request::CanceledError);

        FirmwareInfoRequest dropped;
        QSignalSpy droppedFinished(&dropped, &Request::finished);
        dropped.slotSend();
        QTest::qWait(50);
        dropped.slotCancel();
        QVERIFY(!droppedFinished.wait(800));
    }

    void attemptsRetryAFailedSend()
    {
        QVERIFY(start({"--fail", "setting/platform@1=503"}));
        FirmwareInfoRequest retried;
        retried.setAttempts(2);
        retried.setNeedsAuthorization(false);
        QVERIFY(finish(retried));
        const QJsonArray calls = sim()->requests("setting/platform");
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls.at(0).toObject().value("status").toInt(), 503);
        QCOMPARE(retried.httpStatusCode(), calls.at(1).toObject().value("status").toInt());
    }

    void bodiesFromObjectsAndDevices()
    {
        QVERIFY(start({}));
        FormUpload form;
        QVERIFY(finish(form));
        DeviceUpload raw;
        QVERIFY(finish(raw));
        const QJsonObject formCall = sim()->requests("upload/form").at(0).toObject();
        QCOMPARE(formCall.value("method").toString(), QStringLiteral("POST"));
        const QJsonObject formHeaders = formCall.value("headers").toObject();
        QVERIFY(formHeaders.value("Content-Type").toString().startsWith(QStringLiteral("multipart/form-data; boundary=")));
        QVERIFY(formHeaders.value("Content-Length").toString().toInt() > 10);
        const QJsonObject rawCall = sim()->requests("upload/raw").at(0).toObject();
        QCOMPARE(rawCall.value("method").toString(), QStringLiteral("PUT"));
        QCOMPARE(rawCall.value("headers").toObject().value("Content-Length").toString(), QStringLiteral("1000"));
    }

private:
    bool start(const QStringList &args)
    {
        return m_cloud.start(fixture(), args, QMap<QString, QByteArray>{{"a.jpg", "jpeg-bytes-0123456789"}});
    }
    CloudSim *sim() const { return m_cloud.sim(); }
    NetworkManager *net() const { return m_cloud.net(); }

    static bool finish(Request &request, int ms = 5000)
    {
        QSignalSpy finished(&request, &Request::finished);
        request.slotSend();
        return finished.wait(ms);
    }

    // The signed link of the campaign's one picture.
    UrlData campaignFile()
    {
        if (!m_cloud.login())
            return UrlData();
        QSignalSpy content(net(), &NetworkManager::campaignInfoReady);
        net()->loadCampaignContent(QStringLiteral("aa:bb:cc:00:00:01"), 42);
        if (!content.wait(5000))
            return UrlData();
        return content.at(0).at(1).value<QHash<QString, UrlData>>().value(QStringLiteral("5001"));
    }

    // A device's road through the cloud as the contents chef walks it:
    // registration, its record, its campaign and content, the files, the status.
    void publishingPass()
    {
        const QString mac = QStringLiteral("aa:bb:cc:00:00:01");
        QSignalSpy registered(net(), &NetworkManager::usbDeviceRegistered);
        net()->registerUsbDevices({{{NetworkManager::MacAddressKey, mac}}}, QString());
        QVERIFY(registered.wait(10000));
        QCOMPARE(registered.at(0).at(1).toBool(), true);
        QSignalSpy info(net(), &NetworkManager::deviceInfoDownloaded);
        net()->loadDevicesInfo({mac});
        QVERIFY(info.wait(10000));
        QCOMPARE(info.at(0).at(0).toBool(), true);
        QSignalSpy campaign(net(), &NetworkManager::deviceCampaignReady);
        net()->loadDeviceCampaign(mac);
        QVERIFY(campaign.wait(10000));
        QCOMPARE(campaign.at(0).at(0).toBool(), true);
        const qint64 eventId = campaign.at(0).at(1).value<ContentsInfo>().eventId;
        QCOMPARE(eventId, qint64(42));
        QSignalSpy content(net(), &NetworkManager::campaignInfoReady);
        net()->loadCampaignContent(mac, eventId);
        QVERIFY(content.wait(10000));
        const auto files = content.at(0).at(1).value<QHash<QString, UrlData>>();
        QCOMPARE(files.size(), 1);
        QSignalSpy downloaded(net(), &NetworkManager::contentsReady);
        net()->downloadContent(files.begin().value());
        QVERIFY(downloaded.wait(10000));
        QCOMPARE(downloaded.at(0).at(0).toBool(), true);
        QCOMPARE(downloaded.at(0).at(1).value<ImageData>().frames.value(0).data, QByteArray("jpeg-bytes-0123456789"));
        QSignalSpy status(net(), &NetworkManager::uploadStatusSent);
        net()->sendUploadStatus(mac, eventId, SendUploadStatusRequest::Success, QString());
        QVERIFY(status.wait(10000));
        QCOMPARE(status.at(0).at(0).toBool(), true);
    }

    static QString writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(QLatin1String(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return f.fileName();
    }

    CloudSession m_cloud;
    QTemporaryDir m_certificates;
};

QTEST_MAIN(TestNetFailures)
#include "tst_net_failures.moc"
