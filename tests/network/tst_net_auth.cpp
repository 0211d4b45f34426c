// Token renewal against the cloud simulator: scheduled before expiry, after a
// 401, merged when several calls meet a 401 at once, failing, and bounded; and
// a log file that holds neither the password nor any token through it all.
#include "AuthorizationRequest.h"
#include "CloudSim.h"
#include "JWTAuthorizationManager.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "NetworkManager.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPassword = CloudSim::operatorUser().value("password").toString();

QJsonObject fixture()
{
    return QJsonObject{{"minFWVersion", "1.5.28"}, {"users", QJsonArray{CloudSim::operatorUser()}}};
}

QList<int> statuses(const QJsonArray &requests)
{
    QList<int> list;
    for (const QJsonValue &r : requests)
        list.append(r.toObject().value("status").toInt());
    return list;
}

QList<bool> bearers(const QJsonArray &requests)
{
    QList<bool> list;
    for (const QJsonValue &r : requests)
        list.append(r.toObject().value("bearer").toBool());
    return list;
}

} // namespace

class TestNetAuth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_logPath = m_dir.filePath("logs.txt");
        Logger::setFilePath(m_logPath); // before the logger's first use
        qInstallMessageHandler(logMessageHandler);
    }

    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

    void cleanup() { m_cloud.reset(); }

    // With the log file on, a session of logins (one refused with the password
    // echoed by the server), renewals and failing calls.
    void sessionLeavesNoSecretInTheLog()
    {
        Logger::instance()->setFileLoggingEnabled(true);
        QVERIFY(start({"--token-lifetime", "2", "--fail", "signin/@1=400:Invalid password " + kPassword + " for op@acme.test",
                       "--fail", "setting/platform@1=401", "--fail",
                       "user/99=404:Token eyJhbGciOiJIUzI1NiJ9.eyJpYXQiOjF9.c2ln is not welcome"}));
        JWTAuthorizationManager *auth = net()->authorizationManager();
        QStringList secrets{kPassword};
        const auto keepTokens = [&] {
            secrets << QString::fromUtf8(auth->authToken()) << QString::fromUtf8(auth->refreshToken());
        };
        connect(auth, &JWTAuthorizationManager::tokensDidChanged, this, keepTokens);

        // Refused, the server quoting the password.
        QSignalSpy logined(net(), &NetworkManager::logined);
        net()->login(QStringLiteral("op@acme.test"), kPassword);
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(0).at(0).toBool(), false);
        QVERIFY2(!logined.at(0).at(1).toString().contains(kPassword), qPrintable(logined.at(0).at(1).toString()));

        net()->login(QStringLiteral("op@acme.test"), kPassword);
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(1).at(0).toBool(), true);
        keepTokens();

        // A 401 and its renewal, then a scheduled renewal.
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        QSignalSpy changed(auth, &JWTAuthorizationManager::tokensDidChanged);
        QVERIFY(changed.wait(3000));

        // A failure whose server text quotes a token is logged by checkRequestResult.
        QSignalSpy user(net(), &NetworkManager::gotUserInfo);
        net()->loadUserInfo(QStringLiteral("AA:BB"), 99);
        QVERIFY(user.wait(5000));
        QCOMPARE(user.at(0).at(0).toBool(), false);
        net()->logout();

        Logger::instance()->flush();
        QFile file(m_logPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(file.readAll());
        QVERIFY2(log.contains(QStringLiteral("Failed checkRequestResult:")), qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("Cloud request POST")));
        QVERIFY(log.contains(QStringLiteral("Renewing the access token")));
        QVERIFY(log.contains(QStringLiteral("is not welcome")));
        secrets.removeAll(QString());
        QVERIFY(secrets.size() >= 5); // the password, the first pair and renewed ones
        for (const QString &secret : qAsConst(secrets))
            QVERIFY2(!log.contains(secret), qPrintable(QStringLiteral("secret found in the log: ") + secret.left(6)));
        QVERIFY(!log.contains(QStringLiteral("eyJ"))); // nothing shaped like a token at all
    }



    void scheduledRenewalBeforeExpiry()
    {
        // Two-second tokens are renewed one second after they were stored.
        QVERIFY(start({"--token-lifetime", "2"}));
        QVERIFY(login());
        JWTAuthorizationManager *auth = net()->authorizationManager();
        QCOMPARE(auth->scheduledInterval(), 1000);
        const QByteArray first = auth->authToken();
        const QByteArray firstRefresh = auth->refreshToken();
        QSignalSpy changed(auth, &JWTAuthorizationManager::tokensDidChanged);
        QSignalSpy refreshed(auth, &JWTAuthorizationManager::accessDataDidRefresh);
        QVERIFY(changed.wait(3000));
        QCOMPARE(refreshed.count(), 1);
        QCOMPARE(refreshed.at(0).at(0).toBool(), true);
        QVERIFY(auth->authToken() != first);
        QVERIFY(auth->refreshToken() != firstRefresh); // the service rotates them
        QCOMPARE(auth->scheduledInterval(), 1000);     // rescheduled for the new token
        const QJsonArray renewals = sim()->actions("tokenRefreshes");
        QCOMPARE(renewals.size(), 1);
        QCOMPARE(renewals.at(0).toObject().value("ok").toBool(), true);
        const QJsonObject refreshCall = sim()->requests("refresh_token/").at(0).toObject();
        QCOMPARE(refreshCall.value("method").toString(), QStringLiteral("POST"));
        QCOMPARE(refreshCall.value("bearer").toBool(), false);

        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        QCOMPARE(statuses(sim()->requests("setting/platform")), (QList<int>{200}));
    }

    void oneSecondTokensAreRenewedOn401()
    {
        // Nothing sensible can be scheduled for such a token; the 401 path serves.
        QVERIFY(start({"--token-lifetime", "1"}));
        QVERIFY(login());
        QVERIFY(!net()->authorizationManager()->isRenewalScheduled());
        QTest::qWait(2100); // the token has expired by now
        QVERIFY(sim()->actions("tokenRefreshes").isEmpty());
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        QCOMPARE(fw.at(0).at(1).toString(), QStringLiteral("1.5.28"));
        // Claims count whole seconds, so a renewed one-second token may expire
        // again before the resend arrives: then one more renewal serves.
        const QList<int> calls = statuses(sim()->requests("setting/platform"));
        QVERIFY(calls.size() >= 2 && calls.size() <= AuthorizationRequest::kMaxRenewals + 1);
        QCOMPARE(calls.last(), 200);
        QCOMPARE(calls.count(401), calls.size() - 1);
        QVERIFY(!bearers(sim()->requests("setting/platform")).contains(false));
        QCOMPARE(sim()->actions("tokenRefreshes").size(), calls.size() - 1);
    }

    void concurrent401sShareOneRenewal()
    {
        // Both calls are rejected once; the latency makes the second 401 arrive
        // while the renewal started by the first is still in flight.
        QVERIFY(start({"--fail", "setting/platform@1=401", "--fail", "user/7@1=401", "--latency-ms", "300"}));
        QVERIFY(login());
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        QSignalSpy user(net(), &NetworkManager::gotUserInfo);
        QSignalSpy refreshed(net()->authorizationManager(), &JWTAuthorizationManager::accessDataDidRefresh);
        net()->loadFirmwareInfo();
        net()->loadUserInfo(QStringLiteral("AA:BB:CC:00:00:01"), 7);
        QTRY_VERIFY_WITH_TIMEOUT(fw.count() == 1 && user.count() == 1, 5000);
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        QCOMPARE(user.at(0).at(0).toBool(), true);
        QCOMPARE(refreshed.count(), 1);
        QCOMPARE(sim()->actions("tokenRefreshes").size(), 1);
        QCOMPARE(statuses(sim()->requests("setting/platform")), (QList<int>{401, 200}));
        QCOMPARE(statuses(sim()->requests("user/7")), (QList<int>{401, 200}));
        QCOMPARE(bearers(sim()->requests("user/7")), (QList<bool>{true, true}));
    }

    void failedRenewalEndsTheCall()
    {
        QVERIFY(start({"--fail", "setting/platform@1=401", "--fail", "refresh_token/=500"}));
        QVERIFY(login());
        const QByteArray token = net()->authorizationManager()->authToken();
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QCOMPARE(fw.at(0).at(1).toString(), QString());
        QCOMPARE(fw.at(0).at(2).toString(), QStringLiteral("Cannot refresh access token"));
        // Sent once more, without the token, after the renewal failed.
        QCOMPARE(bearers(sim()->requests("setting/platform")), (QList<bool>{true, false}));
        QCOMPARE(statuses(sim()->requests("refresh_token/")), (QList<int>{500}));
        QCOMPARE(net()->authorizationManager()->authToken(), token); // kept
    }

    void renewalsAreBounded()
    {
        // The service keeps refusing even freshly issued tokens.
        QVERIFY(start({"--fail", "setting/platform=401"}));
        QVERIFY(login());
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QCOMPARE(fw.at(0).at(2).toString(), QStringLiteral("Cannot refresh access token"));
        QCOMPARE(sim()->requests("setting/platform").size(), AuthorizationRequest::kMaxRenewals + 1);
        const QJsonArray renewals = sim()->actions("tokenRefreshes");
        QCOMPARE(renewals.size(), AuthorizationRequest::kMaxRenewals);
        for (const QJsonValue &r : renewals)
            QCOMPARE(r.toObject().value("ok").toBool(), true);
        QTest::qWait(200);
        QCOMPARE(fw.count(), 1); // ended for good
    }

    void renewalWithoutDataLeavesNoTokens()
    {
        QTemporaryDir dir;
        const QString answer = dir.filePath("refresh.json");
        QFile f(answer);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"message":"renewed, somehow"})");
        f.close();
        QVERIFY(start({"--fail", "setting/platform@1=401", "--reply", "refresh_token/=" + answer}));
        QVERIFY(login());
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QVERIFY(!net()->authorizationManager()->hasTokens());
        QVERIFY(net()->authorizationManager()->authToken().isEmpty());
        // Without tokens the call went out bare and was refused.
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QCOMPARE(fw.at(0).at(2).toString(), QStringLiteral("Cannot refresh access token"));
        const QJsonArray calls = sim()->requests("setting/platform");
        QCOMPARE(calls.at(1).toObject().value("bearer").toBool(), false);
    }

    void loggedOutCallsFail()
    {
        QVERIFY(start({}));
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QCOMPARE(fw.at(0).at(2).toString(), QStringLiteral("Cannot refresh access token"));
        QCOMPARE(bearers(sim()->requests("setting/platform")), (QList<bool>{false, false}));
        QCOMPARE(sim()->actions("tokenRefreshes").size(), 1);
    }

    void logoutDuringRenewalKeepsTokensAway()
    {
        QVERIFY(start({"--fail", "setting/platform@1=401", "--latency-ms", "300"}));
        QVERIFY(login());
        QSignalSpy fw(net(), &NetworkManager::fwVersionLoaded);
        net()->loadFirmwareInfo();
        QTRY_VERIFY_WITH_TIMEOUT(net()->authorizationManager()->isRenewing(), 5000);
        net()->logout();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), false);
        QCOMPARE(fw.at(0).at(2).toString(), QStringLiteral("Cannot refresh access token"));
        QTest::qWait(700); // the renewal's answer would be back by now
        QVERIFY(!net()->authorizationManager()->hasTokens());
        QVERIFY(!net()->authorizationManager()->isRenewalScheduled());
        QVERIFY(net()->userInfo() == nullptr);
    }

private:
    bool start(const QStringList &args) { return m_cloud.start(fixture(), args); }
    bool login() { return m_cloud.login(); }

    CloudSession m_cloud;
    QTemporaryDir m_dir;
    QString m_logPath;
    CloudSim *sim() const { return m_cloud.sim(); }
    NetworkManager *net() const { return m_cloud.net(); }
};

QTEST_MAIN(TestNetAuth)
#include "tst_net_auth.moc"
