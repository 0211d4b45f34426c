// How calls end when things go wrong: an unknown host, error statuses with and
// without JSON, a connection cut in the middle of an answer, a malformed answer,
// cancelling; the login's wording and role check; TLS with certificates made by
// openssl at test time, trusted only through TAMO_CA_CERTS at start-up. Also what
// the request family offers that no endpoint uses today: retries, multipart and
// device bodies.
#include "CloudSim.h"
#include "JWTAuthorizationManager.h"
#include "MultiPartRequest.h"
#include "NetworkManager.h"
#include "SelfSignedCertificate.h"
#include "TlsTrust.h"
#include "UploadDataRequest.h"
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

    void cleanup() { m_cloud.reset(); }

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
        QTest::newRow("no content") << QStringList{"--reply", "setting/platform=204:BODY"} << QByteArray()
                                    << int(Request::NoError) << "";
        QTest::newRow("html error page") << QStringList{"--fail", "setting/platform=500"} << QByteArray()
                                         << int(Request::UnknownError) << "";
        QTest::newRow("json error messages joined")
            << QStringList{"--reply", "setting/platform=400:BODY"}
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
        faults.replaceInStrings(QStringLiteral("BODY"), writeFile(dir, "answer.json", body));
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

    static bool finish(Request &request)
    {
        QSignalSpy finished(&request, &Request::finished);
        request.slotSend();
        return finished.wait(5000);
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
