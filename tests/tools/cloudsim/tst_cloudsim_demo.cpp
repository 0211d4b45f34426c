// The demo fixture with its generated pictures: the manager account signs in,
// three devices have campaigns, and the campaign holds JPEG and PNG stills of
// several sizes and shapes, an animation of more than 24 frames and a
// slideshow with a charging picture; the firmware file is offered.
#include "CloudSimProcess.h"
#include "HttpProbe.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QProcess>
#include <QSet>
#include <QtTest>

class TestCloudSimDemo : public QObject
{
    Q_OBJECT

private:
    QProcess m_server;
    HttpProbe *m_client = nullptr;

    static QUrl signedUrl(const QJsonObject &asset)
    {
        return QUrl(asset.value(QStringLiteral("link")).toString() + QLatin1Char('?')
                    + asset.value(QStringLiteral("signature")).toString());
    }
    QJsonObject eventOf(const QString &mac)
    {
        return m_client->api("GET",
                             QStringLiteral("account/event/last?useMacAddress=true&timestamp=")
                                 + QDateTime::currentDateTime().toString(Qt::ISODate),
                             {}, {{"X-Mac-Address", mac.toUtf8()}, {"X-Is-Desktop-App", "true"}})
            .data().value(QStringLiteral("campaignEvent")).toObject();
    }

private slots:
    void initTestCase()
    {
        m_server.start(CloudSimProcess::program(),
                       {QStringLiteral("--fixture"), QStringLiteral(TAMO_CLOUDSIM_DEMO_FIXTURE), QStringLiteral("--files"),
                        QStringLiteral(TAMO_CLOUDSIM_DEMO_FILES), QStringLiteral("--quiet")});
        QVERIFY(m_server.waitForStarted());
        QVERIFY(m_server.waitForReadyRead(10000));
        const QString base = QString::fromUtf8(m_server.readLine()).trimmed();
        QVERIFY2(base.endsWith(QLatin1String("/api/v1/")), m_server.readAllStandardError().constData());
        m_client = new HttpProbe(base);
        // The account written in the README.
        QVERIFY(m_client->login(QStringLiteral("demo.manager@tamo.example"), QStringLiteral("TamoDemo-2024")));
    }
    void cleanupTestCase()
    {
        delete m_client;
        m_server.terminate();
        QVERIFY(m_server.waitForFinished(10000));
        QCOMPARE(m_server.exitCode(), 0);
    }

    void managerAccount()
    {
        HttpProbe anonymous(m_client->url(QString()).toString());
        const HttpReply reply = anonymous.api("POST", QStringLiteral("signin/"),
                                              {{QStringLiteral("email"), QStringLiteral("demo.manager@tamo.example")},
                                               {QStringLiteral("password"), QStringLiteral("TamoDemo-2024")}});
        QCOMPARE(reply.data().value(QStringLiteral("role")).toString(), QStringLiteral("company_manager"));
        const QJsonObject logo = reply.data().value(QStringLiteral("companyLogo")).toObject();
        QImage image;
        QVERIFY(image.loadFromData(HttpProbe().send("GET", signedUrl(logo)).body));
    }

    void threeActivatedDevicesWithCampaigns()
    {
        for (const QString &mac : {QStringLiteral("c4:4f:33:0a:0b:01"), QStringLiteral("c4:4f:33:0a:0b:02"),
                                   QStringLiteral("c4:4f:33:0a:0b:03")}) {
            const QJsonObject root = m_client->api("GET", QStringLiteral("tamo_device?where={\"mac\":\"%1\"}").arg(mac)).json();
            QCOMPARE(root.value(QStringLiteral("count")).toInt(), 1);
            QVERIFY(root.value(QStringLiteral("rows")).toArray().at(0).toObject().value(QStringLiteral("activated")).toBool());
            const QJsonObject event = eventOf(mac);
            QVERIFY(event.value(QStringLiteral("id")).toInt() > 0);
            QVERIFY(!event.value(QStringLiteral("contentIds")).toArray().isEmpty());
            QCOMPARE(event.value(QStringLiteral("isUploaded")).toBool(), false);
        }
    }

    void campaignPictures()
    {
        const int eventId = eventOf(QStringLiteral("c4:4f:33:0a:0b:01")).value(QStringLiteral("id")).toInt();
        const QJsonObject data = m_client->api("GET", QStringLiteral("account/schedule_event/%1/content").arg(eventId)).data();
        QSet<QByteArray> formats;
        QSet<QString> sizes;
        QSet<int> shapes;   // aspect ratio in percent
        int gifFrames = 0;
        QList<QJsonObject> items;
        for (const QJsonValue &tamo : data.value(QStringLiteral("tamos")).toArray())
            items << tamo.toObject();
        for (const QJsonValue &post : data.value(QStringLiteral("posts")).toArray())
            for (const QJsonValue &tamo : post.toObject().value(QStringLiteral("tamos")).toArray())
                items << tamo.toObject();
        for (const QJsonObject &item : items) {
            const HttpReply file = HttpProbe().send("GET", signedUrl(item.value(QStringLiteral("asset")).toObject()));
            QCOMPARE(file.status, 200);
            QBuffer buffer;
            buffer.setData(file.body);
            QImageReader reader(&buffer);
            const QByteArray format = reader.format();
            QCOMPARE(QStringLiteral("image/") + QString::fromLatin1(format == "jpeg" ? QByteArray("jpeg") : format),
                     item.value(QStringLiteral("imageFormat")).toString());
            formats.insert(format);
            const QSize size = reader.size();
            QVERIFY(size.isValid());
            sizes.insert(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
            shapes.insert(size.width() * 100 / size.height());
            if (format == "gif")
                gifFrames = reader.imageCount();
            QImage image;
            QVERIFY(reader.read(&image));
        }
        QVERIFY(formats.contains("jpeg"));
        QVERIFY(formats.contains("png"));
        QVERIFY(formats.contains("gif"));
        QVERIFY(sizes.size() >= 6);
        QVERIFY(shapes.size() >= 4);
        QVERIFY2(gifFrames > 24, qPrintable(QString::number(gifFrames)));

        const QJsonArray posts = data.value(QStringLiteral("posts")).toArray();
        QCOMPARE(posts.size(), 1);
        const QJsonObject slideshow = posts.at(0).toObject();
        QVERIFY(slideshow.value(QStringLiteral("tamoId")).toArray().size() >= 3);
        const int charging = slideshow.value(QStringLiteral("chargingTamoId")).toInt();
        bool chargingListed = false;
        for (const QJsonValue &tamo : slideshow.value(QStringLiteral("tamos")).toArray())
            chargingListed = chargingListed || tamo.toObject().value(QStringLiteral("id")).toInt() == charging;
        QVERIFY(chargingListed);
    }

    void firmwareIsOffered()
    {
        HttpProbe anonymous(m_client->url(QString()).toString());
        const QJsonObject firmware = anonymous.api("GET", QStringLiteral("tamo_device_usb/upgrade"))
                                         .data().value(QStringLiteral("firmware")).toObject();
        const HttpReply file = HttpProbe().send("GET", signedUrl(firmware));
        QCOMPARE(file.status, 200);
        QVERIFY(file.body.size() > 1000);
        // Written by the device simulator when it is built, else a placeholder.
        QVERIFY(file.body.startsWith("DfuSe") || file.body.startsWith("TAMO-DEMO-FIRMWARE-PLACEHOLDER"));
        const QJsonArray installers = m_client->api("GET", QStringLiteral("installation?type=dfu"))
                                          .json().value(QStringLiteral("data")).toArray();
        QCOMPARE(installers.size(), 1);
        QVERIFY(installers.at(0).toObject().value(QStringLiteral("active")).toBool());
    }
};

QTEST_GUILESS_MAIN(TestCloudSimDemo)
#include "tst_cloudsim_demo.moc"
