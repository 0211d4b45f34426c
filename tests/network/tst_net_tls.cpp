// TLS against the simulator serving HTTPS with a certificate made by openssl at
// test time: refused (with the certificate's fault as the error text) until
// TAMO_CA_CERTS names it at start-up; never trusted at run time.
#include "CloudSim.h"
#include "JWTAuthorizationManager.h"
#include "NetworkManager.h"
#include "SelfSignedCertificate.h"
#include "TlsTrust.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QSslError>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QJsonObject fixture()
{
    return QJsonObject{{"users", QJsonArray{CloudSim::operatorUser()}}};
}

} // namespace

class TestNetTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(makeSelfSignedCertificate(m_dir.path(), "good"));
        QVERIFY(makeSelfSignedCertificate(m_dir.path(), "wrongname", "elsewhere.test"));
        qunsetenv(TlsTrust::kEnvironmentVariable);
        m_sim = std::make_unique<CloudSim>(fixture(), QStringList{"--tls-cert", m_dir.filePath("good.crt"),
                                                                  "--tls-key", m_dir.filePath("good.key")});
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->failure()));
        QVERIFY(m_sim->baseUrl().startsWith(QStringLiteral("https://")));
        m_sim->setCaCertificate(m_dir.filePath("good.crt"));
        m_sim->useForClient();
    }

    void refusedWithoutTrust()
    {
        NetworkManager net;
        QSignalSpy logined(&net, &NetworkManager::logined);
        net.login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        QCOMPARE(logined.at(0).at(0).toBool(), false);
        QCOMPARE(logined.at(0).at(1).toString(), QSslError(QSslError::SelfSignedCertificate).errorString());

        // A refused certificate stays refused: nothing was trusted on the way.
        net.login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        QCOMPARE(logined.at(1).at(0).toBool(), false);
        QVERIFY(m_sim->requests("signin/").isEmpty()); // no request got through the handshake
        QVERIFY(!net.authorizationManager()->hasTokens());
    }

    void acceptedWithTrustFromTheEnvironment()
    {
        qputenv(TlsTrust::kEnvironmentVariable, m_dir.filePath("good.crt").toUtf8());
        NetworkManager net; // start-up reads the variable
        QSignalSpy logined(&net, &NetworkManager::logined);
        net.login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        QCOMPARE(logined.at(0).at(1).toString(), QString());
        QCOMPARE(logined.at(0).at(0).toBool(), true);
        QCOMPARE(m_sim->requests("signin/").size(), 1);
    }

    void trustedIssuerStillNeedsTheRightName()
    {
        // A certificate that is trusted but names another host is still refused.
        qputenv(TlsTrust::kEnvironmentVariable, m_dir.filePath("wrongname.crt").toUtf8());
        CloudSim other(fixture(), {"--tls-cert", m_dir.filePath("wrongname.crt"), "--tls-key",
                                   m_dir.filePath("wrongname.key")});
        QVERIFY2(other.isRunning(), qPrintable(other.failure()));
        other.useForClient();
        NetworkManager net;
        QSignalSpy logined(&net, &NetworkManager::logined);
        net.login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        QCOMPARE(logined.at(0).at(0).toBool(), false);
        QVERIFY2(logined.at(0).at(1).toString().contains(QSslError(QSslError::HostNameMismatch).errorString()),
                 qPrintable(logined.at(0).at(1).toString()));
        m_sim->useForClient();
    }

    void cleanupTestCase() { m_sim.reset(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CloudSim> m_sim;
};

QTEST_MAIN(TestNetTls)
#include "tst_net_tls.moc"
