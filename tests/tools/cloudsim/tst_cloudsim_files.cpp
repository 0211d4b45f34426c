// Picture and firmware files are reached only through signed links: the link,
// "?", then the signature. Anything else gets 403, and a file is chosen by
// the link's key, never by a name.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QFile>
#include <QJsonArray>
#include <QThread>
#include <QtTest>

class TestCloudSimFiles : public QObject
{
    Q_OBJECT

private:
    CloudSimProcess m_sim;
    HttpProbe *m_client = nullptr;

    QJsonObject contentAsset(int index)
    {
        return m_client->api("GET", QStringLiteral("account/schedule_event/42/content"))
            .data().value(QStringLiteral("tamos")).toArray().at(index).toObject()
            .value(QStringLiteral("asset")).toObject();
    }
    static QUrl signedUrl(const QJsonObject &asset)
    {
        return QUrl(asset.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                    + asset.value(QStringLiteral("signature")).toString());
    }

private slots:
    void initTestCase()
    {
        QJsonObject fixture = CloudSimProcess::sampleFixture();
        QJsonArray contents = fixture.value(QStringLiteral("contents")).toArray();
        QJsonObject named = contents.at(1).toObject();
        named.insert(QStringLiteral("linkName"), QStringLiteral("shown name.png"));
        named.insert(QStringLiteral("disposition"), QStringLiteral("../../etc/\"evil\".png"));
        contents.replace(1, named);
        fixture.insert(QStringLiteral("contents"), contents);
        QVERIFY2(m_sim.start(fixture, {QStringLiteral("--link-lifetime"), QStringLiteral("1")}),
                 m_sim.errorOutput().constData());
        m_client = new HttpProbe(m_sim.baseUrl());
        QVERIFY(m_client->login(QStringLiteral("manager@acme.example"), QStringLiteral("s3cret-Pass")));
    }
    void cleanupTestCase()
    {
        delete m_client;
        QCOMPARE(m_sim.stop(), 0);
    }

    void signedLinkServesTheFile()
    {
        const HttpReply reply = HttpProbe().send("GET", signedUrl(contentAsset(0)));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, CloudSimProcess::sampleFileBytes(QStringLiteral("a.jpg")));
        QCOMPARE(reply.headers.value("content-type"), QByteArray("image/jpeg"));
        QCOMPARE(reply.headers.value("content-length").toInt(), reply.body.size());
        QCOMPARE(reply.headers.value("content-disposition"), QByteArray("attachment; filename=\"a.jpg\""));
    }

    void linkNameAndDispositionComeFromTheFixture()
    {
        const QJsonObject asset = m_client->api("GET", QStringLiteral("account/schedule_event/43/content"))
                                      .data().value(QStringLiteral("tamos")).toArray().at(0).toObject()
                                      .value(QStringLiteral("asset")).toObject();
        QVERIFY(asset.value(QStringLiteral("link")).toString().endsWith(QLatin1String("/shown%20name.png")));
        const HttpReply reply = HttpProbe().send("GET", signedUrl(asset));
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, CloudSimProcess::sampleFileBytes(QStringLiteral("b.png")));
        // Quotes are dropped so that the header stays well-formed; the path is
        // passed on for the client to defuse.
        QCOMPARE(reply.headers.value("content-disposition"), QByteArray("attachment; filename=\"../../etc/evil.png\""));
    }

    void badSignaturesAre403_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("no signature") << QStringLiteral("drop");
        QTest::newRow("altered signature") << QStringLiteral("alter");
        QTest::newRow("later expiry") << QStringLiteral("extend");
        QTest::newRow("signature of another file") << QStringLiteral("swap");
        QTest::newRow("extra parameter") << QStringLiteral("extra");
    }
    void badSignaturesAre403()
    {
        QFETCH(QString, change);
        const QJsonObject asset = contentAsset(0);
        QString link = asset.value(QStringLiteral("link")).toString();
        QString signature = asset.value(QStringLiteral("signature")).toString();
        if (change == QLatin1String("alter")) {
            const int last = signature.size() - 1;
            signature[last] = signature.at(last) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
        } else if (change == QLatin1String("extend")) {
            const qint64 expires = signature.section(QLatin1Char('&'), 0, 0).section(QLatin1Char('='), 1).toLongLong();
            signature.replace(QString::number(expires), QString::number(expires + 1000));
        } else if (change == QLatin1String("swap")) {
            signature = contentAsset(1).value(QStringLiteral("signature")).toString();
        } else if (change == QLatin1String("extra")) {
            signature += QStringLiteral("&x=1");
        }
        const QUrl url = change == QLatin1String("drop") ? QUrl(link) : QUrl(link + QLatin1Char('?') + signature);
        const HttpReply reply = HttpProbe().send("GET", url);
        QCOMPARE(reply.status, 403);
        QVERIFY(reply.body.indexOf("sample file") < 0);
    }

    void unknownKeysAndWrongNamesAre404()
    {
        const QJsonObject asset = contentAsset(0);
        QString link = asset.value(QStringLiteral("link")).toString();
        const QString signature = asset.value(QStringLiteral("signature")).toString();
        QCOMPARE(HttpProbe().send("GET", QUrl(link.replace(QLatin1String("/a.jpg"), QLatin1String("/fw.dfu"))
                                               + QLatin1Char('?') + signature)).status,
                 404);
        const QString origin = m_sim.baseUrl().section(QStringLiteral("/api/"), 0, 0);
        QCOMPARE(HttpProbe().send("GET", QUrl(origin + QStringLiteral("/files/999/a.jpg?") + signature)).status, 404);
        QCOMPARE(HttpProbe().send("GET", QUrl(origin + QStringLiteral("/fixture.json"))).status, 404);
    }

    void linksTakeNoTokenAndOnlyGet()
    {
        const QUrl url = signedUrl(contentAsset(0));
        HttpReply reply = HttpProbe().send("GET", url, {{"Authorization", "Bearer " + m_client->authToken}});
        QCOMPARE(reply.status, 400);
        reply = HttpProbe().send("POST", url, {}, "x");
        QCOMPARE(reply.status, 405);
    }

    void fileMissingOnDiskIs404()
    {
        const QJsonObject asset = contentAsset(1);
        QVERIFY(QFile::rename(QDir(m_sim.folder()).filePath(QStringLiteral("c.gif")),
                              QDir(m_sim.folder()).filePath(QStringLiteral("c.gif.away"))));
        const HttpReply reply = HttpProbe().send("GET", signedUrl(asset));
        QVERIFY(QFile::rename(QDir(m_sim.folder()).filePath(QStringLiteral("c.gif.away")),
                              QDir(m_sim.folder()).filePath(QStringLiteral("c.gif"))));
        QCOMPARE(reply.status, 404);
    }

    void linksExpire()
    {
        // The fixture's links live one second (--link-lifetime 1).
        const QUrl url = signedUrl(contentAsset(0));
        const qint64 expires = QUrlQuery(url).queryItemValue(QStringLiteral("expires")).toLongLong();
        QVERIFY(expires > 0);
        while (QDateTime::currentMSecsSinceEpoch() < (expires + 1) * 1000 + 100)
            QThread::msleep(50);
        const HttpReply reply = HttpProbe().send("GET", url);
        QCOMPARE(reply.status, 403);
        QCOMPARE(reply.message(), QStringLiteral("Link expired"));
    }

    void fixtureFilesStayInsideTheFolder()
    {
        QJsonObject fixture = CloudSimProcess::sampleFixture();
        QJsonObject firmware = fixture.value(QStringLiteral("firmware")).toObject();
        firmware.insert(QStringLiteral("file"), QStringLiteral("../outside.dfu"));
        fixture.insert(QStringLiteral("firmware"), firmware);
        CloudSimProcess escaping;
        QVERIFY(!escaping.start(fixture));
        QVERIFY(escaping.errorOutput().contains("must be a path inside the files folder"));
        QCOMPARE(escaping.stop(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCloudSimFiles)
#include "tst_cloudsim_files.moc"
