// With the log file on, a session of logins (one refused with the password
// echoed by the server), renewals and failing calls leaves a log that holds
// neither the password nor any token.
#include "CloudSim.h"
#include "JWTAuthorizationManager.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "NetworkManager.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kPassword = QStringLiteral("Pw-Secret-77");

} // namespace

class TestNetLogFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_logPath = m_dir.filePath("logs.txt");
        Logger::setFilePath(m_logPath); // before the logger's first use
        qInstallMessageHandler(logMessageHandler);
        Logger::instance()->setFileLoggingEnabled(true);
    }

    void sessionLeavesNoSecretInTheLog()
    {
        const QJsonObject fixture{
            {"users", QJsonArray{QJsonObject{{"id", 7}, {"email", "op@acme.test"}, {"password", kPassword},
                                             {"role", "company_manager"}}}}};
        CloudSim sim(fixture, {"--token-lifetime", "2", "--fail",
                               "signin/@1=400:Invalid password " + kPassword + " for op@acme.test", "--fail",
                               "setting/platform@1=401", "--fail", "user/99=404:Token eyJhbGciOiJIUzI1NiJ9.eyJpYXQiOjF9.c2ln is not welcome"});
        QVERIFY2(sim.isRunning(), qPrintable(sim.failure()));
        sim.useForClient();
        NetworkManager net;
        JWTAuthorizationManager *auth = net.authorizationManager();
        QStringList secrets{kPassword};
        const auto keepTokens = [&] {
            secrets << QString::fromUtf8(auth->authToken()) << QString::fromUtf8(auth->refreshToken());
        };
        connect(auth, &JWTAuthorizationManager::tokensDidChanged, this, keepTokens);

        // Refused, the server quoting the password.
        QSignalSpy logined(&net, &NetworkManager::logined);
        net.login(QStringLiteral("op@acme.test"), kPassword);
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(0).at(0).toBool(), false);
        QVERIFY2(!logined.at(0).at(1).toString().contains(kPassword), qPrintable(logined.at(0).at(1).toString()));

        net.login(QStringLiteral("op@acme.test"), kPassword);
        QVERIFY(logined.wait(5000));
        QCOMPARE(logined.at(1).at(0).toBool(), true);
        keepTokens();

        // A 401 and its renewal, then a scheduled renewal.
        QSignalSpy fw(&net, &NetworkManager::fwVersionLoaded);
        net.loadFirmwareInfo();
        QVERIFY(fw.wait(5000));
        QCOMPARE(fw.at(0).at(0).toBool(), true);
        QSignalSpy changed(auth, &JWTAuthorizationManager::tokensDidChanged);
        QVERIFY(changed.wait(3000));

        // A failure whose server text quotes a token is logged by checkRequestResult.
        QSignalSpy user(&net, &NetworkManager::gotUserInfo);
        net.loadUserInfo(QStringLiteral("AA:BB"), 99);
        QVERIFY(user.wait(5000));
        QCOMPARE(user.at(0).at(0).toBool(), false);
        net.logout();

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

    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

private:
    QTemporaryDir m_dir;
    QString m_logPath;
};

QTEST_MAIN(TestNetLogFile)
#include "tst_net_logfile.moc"
