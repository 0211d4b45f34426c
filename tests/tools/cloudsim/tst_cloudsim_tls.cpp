// HTTPS with a certificate made at test time by the openssl command: trusted
// when the client is given the certificate, refused otherwise.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QJsonArray>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>

class TestCloudSimTls : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_cert;
    QString m_key;
    QList<QSslCertificate> m_trusted;

    QStringList tlsArguments() const
    {
        return {QStringLiteral("--tls-cert"), m_cert, QStringLiteral("--tls-key"), m_key};
    }

private slots:
    void initTestCase()
    {
        m_cert = m_dir.filePath(QStringLiteral("cert.pem"));
        m_key = m_dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                       QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                       QStringLiteral("-nodes"), QStringLiteral("-keyout"), m_key, QStringLiteral("-out"), m_cert,
                       QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=tamo-cloudsim test"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
        QVERIFY(openssl.waitForFinished(30000));
        QVERIFY2(openssl.exitCode() == 0, openssl.readAllStandardError().constData());
        m_trusted = QSslCertificate::fromPath(m_cert);
        QCOMPARE(m_trusted.size(), 1);
    }

    void trustedCertificateServesTheApiAndFiles()
    {
        CloudSimProcess sim;
        QVERIFY2(sim.start(CloudSimProcess::sampleFixture(), tlsArguments()), sim.errorOutput().constData());
        QVERIFY(sim.baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));
        HttpProbe client(sim.baseUrl());
        client.setCaCertificates(m_trusted);
        QVERIFY(client.login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
        const QJsonObject asset = client.api("GET", QStringLiteral("account/schedule_event/42/content"))
                                      .data().value(QStringLiteral("tamos")).toArray().at(0).toObject()
                                      .value(QStringLiteral("asset")).toObject();
        const QString link = asset.value(QStringLiteral("link")).toString();
        QVERIFY(link.startsWith(QLatin1String("https://127.0.0.1:")));
        const HttpReply file = client.send("GET", QUrl(link + QLatin1Char('?') + asset.value(QStringLiteral("signature")).toString()));
        QCOMPARE(file.status, 200);
        QCOMPARE(file.body, CloudSimProcess::sampleFileBytes(QStringLiteral("a.jpg")));
        QCOMPARE(sim.stop(), 0);
    }

    void untrustedCertificateIsRefused()
    {
        CloudSimProcess sim;
        QVERIFY(sim.start(CloudSimProcess::sampleFixture(), tlsArguments()));
        HttpProbe client(sim.baseUrl());
        const HttpReply reply = client.api("GET", QStringLiteral("tamo_device_usb/upgrade"));
        QCOMPARE(reply.status, 0);
        QCOMPARE(reply.error, QNetworkReply::SslHandshakeFailedError);
        bool untrusted = false;
        for (const QSslError &error : reply.sslErrors)
            untrusted = untrusted || error.error() == QSslError::SelfSignedCertificate
                || error.error() == QSslError::CertificateUntrusted;
        QVERIFY(untrusted);

        // Plain HTTP to the HTTPS port gets no HTTP answer.
        HttpProbe plain;
        const QString http = sim.baseUrl().replace(QStringLiteral("https://"), QStringLiteral("http://"));
        const HttpReply refused = plain.send("GET", QUrl(http + QStringLiteral("tamo_device_usb/upgrade")),
                                             {{"Content-Type", "application/json"}});
        QVERIFY(refused.status != 200);
        QCOMPARE(sim.stop(), 0);
    }

    void hostNameOfTheCertificate()
    {
        CloudSimProcess sim;
        QVERIFY(sim.start(CloudSimProcess::sampleFixture(),
                          tlsArguments() + QStringList{QStringLiteral("--url-host"), QStringLiteral("localhost")}));
        QVERIFY(sim.baseUrl().startsWith(QLatin1String("https://localhost:")));
        HttpProbe client(sim.baseUrl());
        client.setCaCertificates(m_trusted);
        const HttpReply reply = client.api("GET", QStringLiteral("tamo_device_usb/upgrade"));
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.data().value(QStringLiteral("firmware")).toObject().value(QStringLiteral("link")).toString()
                    .startsWith(QLatin1String("https://localhost:")));
        QCOMPARE(sim.stop(), 0);
    }

    void unusableCertificateStopsTheStart()
    {
        CloudSimProcess sim;
        QVERIFY(!sim.start(CloudSimProcess::sampleFixture(),
                           {QStringLiteral("--tls-cert"), m_key, QStringLiteral("--tls-key"), m_cert}));
        QVERIFY(sim.errorOutput().contains("cannot use the certificate"));
        QCOMPARE(sim.stop(), 1);
        CloudSimProcess half;
        QVERIFY(!half.start(CloudSimProcess::sampleFixture(), {QStringLiteral("--tls-cert"), m_cert}));
        QVERIFY(half.errorOutput().contains("--tls-cert and --tls-key go together"));
    }
};

QTEST_GUILESS_MAIN(TestCloudSimTls)
#include "tst_cloudsim_tls.moc"
