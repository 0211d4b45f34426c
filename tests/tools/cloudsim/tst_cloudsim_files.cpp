// Picture and firmware files are reached only through signed links: the link,
// "?", then the signature. Anything else gets 403, and a file is chosen by
// the link's key, never by a name. Over HTTPS, with a certificate made at test
// time by the openssl command, the client that is given it trusts the server
// and one that is not refuses it.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QThread>
#include <QUrlQuery>
#include <QtTest>

class TestCloudSimFiles : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;
    QTemporaryDir m_dir;
    QString m_cert;
    QString m_key;

private slots:
    void initTestCase()
    {
        QJsonObject fixture = CloudSimProcess::sampleFixture();
        QJsonArray contents = fixture.value("contents").toArray();
        QJsonObject named = contents.at(1).toObject();
        named.insert("linkName", "shown name.png");
        named.insert("disposition", "../../etc/\"evil\".png");
        contents.replace(1, named);
        fixture.insert("contents", contents);
        QVERIFY2(m_sim.start(fixture, {"--link-lifetime", "1"}), m_sim.errors().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(m_client->login());
        m_cert = m_dir.filePath("cert.pem");
        m_key = m_dir.filePath("key.pem");
        const ToolRun openssl = runTool("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                                    "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", m_key, "-out",
                                                    m_cert, "-days", "1", "-subj", "/CN=tamo-cloudsim test", "-addext",
                                                    "subjectAltName=IP:127.0.0.1,DNS:localhost"});
        QVERIFY2(openssl.exitCode == 0, openssl.err.constData());
    }
    void cleanupTestCase()
    {
        delete m_client;
        QCOMPARE(m_sim.stop(), 0);
    }

    void signedLinkServesTheFile()
    {
        const HttpReply reply = HttpProbe().fetch(HttpProbe::signedUrl(m_client->asset(42, 0)));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, CloudSimProcess::sampleFileBytes("a.jpg"));
        QCOMPARE(reply.headers.value("content-type"), QByteArray("image/jpeg"));
        QCOMPARE(reply.headers.value("content-length").toInt(), reply.body.size());
        QCOMPARE(reply.headers.value("content-disposition"), QByteArray("attachment; filename=\"a.jpg\""));
    }

    void linkNameAndDispositionComeFromTheFixture()
    {
        const QJsonObject asset = m_client->asset(43, 0);
        QVERIFY(asset.value("link").toString().endsWith(QLatin1String("/shown%20name.png")));
        const HttpReply reply = HttpProbe().fetch(HttpProbe::signedUrl(asset));
        QCOMPARE(reply.body, CloudSimProcess::sampleFileBytes("b.png"));
        // Quotes are dropped so that the header stays well-formed; the path is
        // passed on for the client to defuse.
        QCOMPARE(reply.headers.value("content-disposition"), QByteArray("attachment; filename=\"../../etc/evil.png\""));
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
            link = m_sim.origin() + "/files/999/a.jpg";
        } else if (change == QLatin1String("bearer")) {
            headers.append({"Authorization", "Bearer " + m_client->authToken});
        }
        const QUrl url = change == QLatin1String("drop") ? QUrl(link) : QUrl(link + '?' + signature);
        const HttpReply reply = HttpProbe().send("GET", url, headers);
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.body.contains("sample file"));
    }

    void onlyFilesAreServed()
    {
        QCOMPARE(HttpProbe().fetch(QUrl(m_sim.origin() + "/fixture.json")).status, 404);
        QCOMPARE(HttpProbe().send("POST", HttpProbe::signedUrl(m_client->asset(42, 0)), {}, "x").status, 405);
        // A file gone from the disk is not found.
        const QJsonObject asset = m_client->asset(42, 1);
        const QString gif = QDir(m_sim.folder()).filePath("c.gif");
        QVERIFY(QFile::rename(gif, gif + ".away"));
        const HttpReply reply = HttpProbe().fetch(HttpProbe::signedUrl(asset));
        QVERIFY(QFile::rename(gif + ".away", gif));
        QCOMPARE(reply.status, 404);
    }

    void linksExpire()
    {
        // The links live one second (--link-lifetime 1).
        const QUrl url = HttpProbe::signedUrl(m_client->asset(42, 0));
        const qint64 expires = QUrlQuery(url).queryItemValue("expires").toLongLong();
        QVERIFY(expires > 0);
        while (QDateTime::currentMSecsSinceEpoch() < (expires + 1) * 1000 + 100)
            QThread::msleep(50);
        const HttpReply reply = HttpProbe().fetch(url);
        QCOMPARE(reply.status, 403);
        QCOMPARE(reply.message(), QStringLiteral("Link expired"));
    }

    void fixtureFilesStayInsideTheFolder()
    {
        QJsonObject fixture = CloudSimProcess::sampleFixture();
        QJsonObject firmware = fixture.value("firmware").toObject();
        firmware.insert("file", "../outside.dfu");
        fixture.insert("firmware", firmware);
        CloudSimProcess escaping;
        QVERIFY(!escaping.start(fixture));
        QCOMPARE(escaping.stop(), 1);
        QVERIFY(escaping.errors().contains("must be a path inside the files folder"));
    }

    void trustedCertificateServesTheApiAndFiles()
    {
        CloudSimProcess sim;
        QVERIFY2(sim.start(CloudSimProcess::sampleFixture(), {"--tls-cert", m_cert, "--tls-key", m_key, "--url-host", "localhost"}),
                 sim.errors().constData());
        QVERIFY(sim.baseUrl().startsWith(QLatin1String("https://localhost:")));
        HttpProbe client(sim.baseUrl());
        client.setCaCertificates(QSslCertificate::fromPath(m_cert));
        QVERIFY(client.login());
        const QJsonObject asset = client.asset(42, 0);
        QVERIFY(asset.value("link").toString().startsWith(QLatin1String("https://localhost:")));
        const HttpReply file = client.fetch(HttpProbe::signedUrl(asset));
        QCOMPARE(file.status, 200);
        QCOMPARE(file.body, CloudSimProcess::sampleFileBytes("a.jpg"));
        QCOMPARE(sim.stop(), 0);
    }

    void untrustedCertificateIsRefused()
    {
        CloudSimProcess sim;
        QVERIFY(sim.start(CloudSimProcess::sampleFixture(), {"--tls-cert", m_cert, "--tls-key", m_key}));
        QVERIFY(sim.baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));
        const HttpReply reply = HttpProbe(sim.baseUrl()).api("GET", "tamo_device_usb/upgrade");
        QCOMPARE(reply.status, 0);
        QCOMPARE(reply.error, QNetworkReply::SslHandshakeFailedError);
        bool untrusted = false;
        for (const QSslError &error : reply.sslErrors)
            untrusted = untrusted || error.error() == QSslError::SelfSignedCertificate
                || error.error() == QSslError::CertificateUntrusted;
        QVERIFY(untrusted);
        // Plain HTTP to the HTTPS port gets no HTTP answer.
        const QString http = sim.baseUrl().replace("https://", "http://");
        QVERIFY(HttpProbe(http).api("GET", "tamo_device_usb/upgrade").status != 200);
        QCOMPARE(sim.stop(), 0);
    }

    void unusableCertificateStopsTheStart()
    {
        CloudSimProcess sim;
        QVERIFY(!sim.start(CloudSimProcess::sampleFixture(), {"--tls-cert", m_key, "--tls-key", m_cert}));
        QCOMPARE(sim.stop(), 1);
        QVERIFY(sim.errors().contains("cannot use the certificate"));
    }
};

QTEST_GUILESS_MAIN(TestCloudSimFiles)
#include "tst_cloudsim_files.moc"
