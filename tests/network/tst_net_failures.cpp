// How calls end when things go wrong: an unknown host, error statuses with and
// without JSON, a connection cut in the middle of an answer, a malformed answer,
// cancelling; and the login's wording and role check.
#include "CloudSim.h"
#include "JWTAuthorizationManager.h"
#include "NetworkManager.h"
#include "requests/FirmwareInfoRequest.h"

#include <QJsonArray>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QJsonObject fixture()
{
    const auto user = [](int id, const char *email, const char *password, const char *role) {
        return QJsonObject{{"id", id}, {"email", email}, {"password", password}, {"role", role}, {"companyId", 1}};
    };
    return QJsonObject{
        {"minFWVersion", "1.5.28"},
        {"companies", QJsonArray{QJsonObject{{"id", 1}, {"title", "Acme"}}}},
        {"users", QJsonArray{user(7, "op@acme.test", "Op-Pass-1", "company_manager"),
                             user(8, "boss@acme.test", "Boss-2", "Admin"),
                             user(9, "field@acme.test", "Field-3", "user")}},
        {"contents", QJsonArray{QJsonObject{{"id", 101}, {"uuid", 5001}, {"file", "a.jpg"}}}},
    };
}

} // namespace

class TestNetFailures : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        m_net.reset();
        m_sim.reset();
    }

    void unknownHostIsUnreachable()
    {
        qputenv("TAMO_API_URL", "http://tamo-cloud.invalid/api/v1/");
        m_net = std::make_unique<NetworkManager>();
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(20000));
        QCOMPARE(logined.at(0).at(0).toBool(), false);
        QCOMPARE(logined.at(0).at(1).toString(), QStringLiteral("Network unreachable"));

        auto request = std::make_unique<FirmwareInfoRequest>();
        QSignalSpy finished(request.get(), &Request::finished);
        request->slotSend();
        QVERIFY(finished.wait(20000));
        QCOMPARE(request->status(), Request::TransportError);
        QCOMPARE(request->networkError(), int(QNetworkReply::HostNotFoundError));
        QCOMPARE(request->httpStatusCode(), 0);
        QCOMPARE(request->errorString(), QStringLiteral("Network unreachable"));
    }

    void htmlErrorPageGivesAnEmptyText()
    {
        QVERIFY(start({"--fail", "setting/platform=500", "--fail", "signin/=500"}));
        auto request = send<FirmwareInfoRequest>();
        QCOMPARE(request->status(), Request::UnknownError);
        QCOMPARE(request->httpStatusCode(), 500);
        QVERIFY(request->hasError());
        QCOMPARE(request->errorString(), QString());
        QVERIFY(request->minFwVersion().isEmpty());

        m_net = std::make_unique<NetworkManager>();
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(0).at(0).toBool(), false);
        QCOMPARE(logined.at(0).at(1).toString(), QString());
        QVERIFY(m_net->userInfo() == nullptr);
    }

    void jsonErrorTextsAreJoined()
    {
        QTemporaryDir dir;
        const QString body = writeFile(dir, "e.json", R"({"statusCode":400,"b":"second","a":["first"]})");
        QVERIFY(start({"--reply", "setting/platform=400:" + body, "--fail", "company/1=403:No access to company"}));
        QVERIFY(login("op@acme.test", "Op-Pass-1"));
        QSignalSpy fw(m_net.get(), &NetworkManager::fwVersionLoaded);
        m_net->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QCOMPARE(fw.at(0).at(2).toString(), QStringLiteral("first\nsecond"));

        // The company's title is loaded silently: a failure emits nothing.
        QSignalSpy company(m_net.get(), &NetworkManager::companyInfoLoaded);
        m_net->loadCompanyInfo(1);
        QVERIFY(!company.wait(500));
        QVERIFY(m_net->userInfo()->companyName.isEmpty());
    }

    void noContentAnswer()
    {
        QTemporaryDir dir;
        const QString empty = writeFile(dir, "empty.json", "");
        QVERIFY(start({"--reply", "setting/platform=204:" + empty}));
        auto request = send<FirmwareInfoRequest>();
        QCOMPARE(request->httpStatusCode(), 204);
        QCOMPARE(request->status(), Request::NoError);
        QCOMPARE(request->errorString(), QString());
        QVERIFY(request->jsonObject().isEmpty());
    }

    void connectionClosedMidAnswer()
    {
        // The endpoint answers 200; half its body arrives, then the connection ends.
        QVERIFY(start({"--close-mid-answer", "setting/platform", "--close-mid-answer", "files/*"}));
        QVERIFY(login("op@acme.test", "Op-Pass-1"));
        auto request = send<FirmwareInfoRequest>();
        QVERIFY(request->hasError());
        QCOMPARE(request->status(), Request::TransportError);
        QVERIFY(!request->errorString().isEmpty());
        QVERIFY(request->minFwVersion().isEmpty());
        QCOMPARE(m_sim->requests("setting/platform").at(0).toObject().value("status").toInt(), 200);

        QSignalSpy fw(m_net.get(), &NetworkManager::fwVersionLoaded);
        m_net->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QVERIFY(!fw.at(0).at(2).toString().isEmpty());

        // A picture cut short is a failed download, not a short picture.
        QSignalSpy files(m_net.get(), &NetworkManager::contentsReady);
        UrlData file;
        file.type = ImageType;
        file.link = m_sim->rootUrl() + QStringLiteral("files/1/a.jpg");
        m_net->downloadContent(file);
        QVERIFY(files.wait(5000));
        QCOMPARE(files.at(0).at(0).toBool(), false);
    }

    void malformedAnswerYieldsDefaults()
    {
        // A 2xx answer that is no JSON document raises no error; nothing is read.
        QVERIFY(start({"--malformed", "setting/platform"}));
        QVERIFY(login("op@acme.test", "Op-Pass-1"));
        QSignalSpy fw(m_net.get(), &NetworkManager::fwVersionLoaded);
        m_net->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        QCOMPARE(fw.at(0).at(1).toString(), QString());
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
        QTest::newRow("unknown user") << "who@acme.test" << "x" << false
                                      << "Email address does not exist. Please re-enter." << false;
    }

    void loginWording()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(bool, success);
        QFETCH(QString, text);
        QFETCH(bool, hasUser);
        QVERIFY(start({}));
        m_net = std::make_unique<NetworkManager>();
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(email, password);
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(0).at(0).toBool(), success);
        QCOMPARE(logined.at(0).at(1).toString(), text);
        QCOMPARE(m_net->userInfo() != nullptr, hasUser);
        // A refused role keeps the record and the tokens.
        QCOMPARE(m_net->authorizationManager()->hasTokens(), hasUser);
        if (hasUser)
            QCOMPARE(m_net->userInfo()->role, m_net->userInfo()->role.toLower());
    }

    void emptyCredentialsNeverLeave()
    {
        QVERIFY(start({}));
        m_net = std::make_unique<NetworkManager>();
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QStringLiteral("op@acme.test"), QString());
        m_net->login(QString(), QStringLiteral("Op-Pass-1"));
        QCOMPARE(logined.count(), 2); // at once
        QCOMPARE(logined.at(0).at(1).toString(), QStringLiteral("Email and password can not be empty"));
        QCOMPARE(logined.at(1).at(0).toBool(), false);
        QVERIFY(m_sim->requests("signin/").isEmpty());

        // No user, no logo address: nothing is asked and nothing is emitted.
        QSignalSpy images(m_net.get(), &NetworkManager::imageDownloaded);
        m_net->downloadImage(NetworkManager::CompanyLogoKey);
        QVERIFY(!images.wait(300));
    }

    void logoutForgetsUserAndTokens()
    {
        QVERIFY(start({}));
        QVERIFY(login("op@acme.test", "Op-Pass-1"));
        QSignalSpy logouted(m_net.get(), &NetworkManager::logouted);
        m_net->logout();
        QCOMPARE(logouted.count(), 1);
        QCOMPARE(logouted.at(0).at(0).toBool(), true);
        QCOMPARE(logouted.at(0).at(1).toString(), QString());
        QVERIFY(m_net->userInfo() == nullptr);
        QVERIFY(!m_net->authorizationManager()->hasTokens());
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

private:
    bool start(const QStringList &args)
    {
        m_sim.reset();
        m_sim = std::make_unique<CloudSim>(fixture(), args, QMap<QString, QByteArray>{{"a.jpg", "jpeg-bytes-0123456789"}});
        if (!m_sim->isRunning()) {
            qWarning() << m_sim->failure();
            return false;
        }
        m_sim->useForClient();
        return true;
    }

    bool login(const char *email, const char *password)
    {
        m_net = std::make_unique<NetworkManager>();
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QLatin1String(email), QLatin1String(password));
        return logined.wait(5000) && logined.at(0).at(0).toBool();
    }

    template <typename R>
    std::unique_ptr<R> send()
    {
        auto request = std::make_unique<R>();
        QSignalSpy finished(request.get(), &Request::finished);
        request->slotSend();
        if (!finished.wait(5000))
            qWarning() << "no answer";
        return request;
    }

    static QString writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(QLatin1String(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return f.fileName();
    }

    std::unique_ptr<CloudSim> m_sim;
    std::unique_ptr<NetworkManager> m_net;
};

QTEST_MAIN(TestNetFailures)
#include "tst_net_failures.moc"
