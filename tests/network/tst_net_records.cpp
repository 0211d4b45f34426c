// The plain records carried from the cloud to the content pipeline.
#include "ContentsInfo.h"
#include "ImageData.h"
#include "NetworkManager.h"
#include "NetworkMetaTypes.h"
#include "SlideShowInfo.h"
#include "UrlData.h"
#include "requests/SendUploadStatusRequest.h"

#include <QMetaMethod>
#include <QMetaType>
#include <QtTest>

class Emitter : public QObject
{
    Q_OBJECT
signals:
    void image(ImageData data);
    void shows(QVector<SlideShowInfo> shows);
    void dataType(NetworkManager::DataType type);
    void uploadStatus(SendUploadStatusRequest::Status status);
};

class TestNetRecords : public QObject
{
    Q_OBJECT

private slots:
    void urlDataDefaultsToNoPicture()
    {
        UrlData file;
        QCOMPARE(file.type, -1);
        QVERIFY(!file.isImage());
        QVERIFY(!file.isGif());
        QVERIFY(file.link.isEmpty());
        QVERIFY(file.signature.isEmpty());
        file.type = GifType;
        QVERIFY(file.isGif());
        QVERIFY(!file.isImage());
        file.link = QStringLiteral("https://files.test/a.gif");
        file.signature = QStringLiteral("sig=1");
        QCOMPARE(file.signedLink(), QStringLiteral("https://files.test/a.gif?sig=1"));
    }

    void imageDataValidityCountsFramesOnly()
    {
        UrlData file;
        file.type = ImageType;
        file.link = QStringLiteral("l");
        ImageData data(file.type, file.link, {});
        QVERIFY(!data.isValid());
        QVERIFY(data.isImage());
        data.frames.append(ImageFrame{});
        QVERIFY(data.isValid());
        QCOMPARE(ImageData().type, -1);
        QVERIFY(!ImageData().isValid());
    }

    void itemsLeaveOutSlideShows()
    {
        ContentsInfo info;
        info.contentIds = QStringList{"5", "9", "12"};
        SlideShowInfo show;
        show.uuid = QStringLiteral("9");
        info.slideShows.append(show);
        QCOMPARE(info.itemsWithoutSlideShows(), (QStringList{"5", "12"}));
        QCOMPARE(ContentsInfo().isUploaded, false);
        QCOMPARE(SlideShowInfo().timeInterval, 10);
    }

    void copiesAreIndependent()
    {
        ContentsInfo a;
        a.contentIds = QStringList{"1"};
        a.pendingLinks.insert(QStringLiteral("x"));
        ContentsInfo b = a;
        b.contentIds.append(QStringLiteral("2"));
        b.pendingLinks.clear();
        QCOMPARE(a.contentIds.size(), 1);
        QCOMPARE(a.pendingLinks.size(), 1);
    }

    void dataTypeValuesAreFixed()
    {
        QCOMPARE(int(NetworkManager::CompanyLogoKey), 0);
        QCOMPARE(int(NetworkManager::FirmwareFileKey), 1);
        QCOMPARE(int(NetworkManager::MacAddressKey), 2);
        QCOMPARE(int(NetworkManager::LastPairedAtKey), 7);
        QCOMPARE(int(NetworkManager::ToEraseKey), 11);
        QCOMPARE(int(SendUploadStatusRequest::Failed), 2);
    }

    void facadeSignalsAndSlotsInTheirOrder()
    {
        // Signals first (0-16), then the private slots (17-31), nothing else.
        const QMetaObject &mo = NetworkManager::staticMetaObject;
        const int offset = mo.methodOffset();
        QCOMPARE(mo.methodCount() - offset, 32);
        const QStringList expected{
            "logined", "logouted", "usbDeviceRegistered", "deviceInfoDownloaded", "imageDownloaded",
            "userLogoDownloaded", "companyLogoDownloaded", "fileDownloaded", "companyInfoLoaded", "fwVersionLoaded",
            "deviceCampaignReady", "campaignInfoReady", "contentsReady", "contentInfoReady", "gotUserInfo",
            "deviceInfoUpdated", "uploadStatusSent", "slotLoginFinished", "slotDeviceCampaignDownloaded",
            "slotCampaignContentDownloaded", "slotContentInfoDownloaded", "slotUsbDeviceRegistered",
            "slotDeviceInfoDownloaded", "slotUploadStatusFinished", "slotDeviceInfoUpdated", "slotDataDownloaded",
            "slotContentDownloaded", "slotCompanInfoLoaded", "slotUserInfoLoaded", "slotDfuInfoLoaded",
            "slotFileDownloaded", "slotFwInfoLoaded"};
        for (int i = 0; i < expected.size(); ++i) {
            const QMetaMethod m = mo.method(offset + i);
            QCOMPARE(QString::fromLatin1(m.name()), expected.at(i));
            QCOMPARE(m.methodType(), i < 17 ? QMetaMethod::Signal : QMetaMethod::Slot);
        }
        QCOMPARE(mo.method(offset + 4).methodSignature(),
                 QByteArray("imageDownloaded(bool,NetworkManager::DataType,QPixmap,QString)"));
    }

    void metaTypesAreRegisteredUnderTheirNames()
    {
        NetworkMetaTypes::registerAll();
        for (const char *name : {"ImageData", "QVector<SlideShowInfo>", "NetworkManager::DataType",
                                 "SendUploadStatusRequest::Status"}) {
            QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
        }
    }

    void typesTravelThroughQueuedSignals()
    {
        // The image converter and the device jobs hand results back across
        // threads; unregistered types would be dropped with a warning.
        NetworkMetaTypes::registerAll();
        Emitter emitter;
        ImageData image;
        QVector<SlideShowInfo> shows;
        NetworkManager::DataType type = NetworkManager::CompanyLogoKey;
        SendUploadStatusRequest::Status status = SendUploadStatusRequest::InProgress;
        connect(&emitter, &Emitter::image, this, [&](ImageData d) { image = d; }, Qt::QueuedConnection);
        connect(&emitter, &Emitter::shows, this, [&](QVector<SlideShowInfo> s) { shows = s; }, Qt::QueuedConnection);
        connect(&emitter, &Emitter::dataType, this, [&](NetworkManager::DataType t) { type = t; }, Qt::QueuedConnection);
        connect(&emitter, &Emitter::uploadStatus, this, [&](SendUploadStatusRequest::Status s) { status = s; },
                Qt::QueuedConnection);
        SlideShowInfo show;
        show.uuid = QStringLiteral("7");
        emit emitter.image(ImageData(GifType, QStringLiteral("l"), {ImageFrame{"ab", 40}}));
        emit emitter.shows({show});
        emit emitter.dataType(NetworkManager::FirmwareFileKey);
        emit emitter.uploadStatus(SendUploadStatusRequest::Failed);
        QTRY_COMPARE(status, SendUploadStatusRequest::Failed);
        QCOMPARE(image.frames.size(), 1);
        QCOMPARE(image.frames.at(0).delay, 40);
        QCOMPARE(shows.size(), 1);
        QCOMPARE(shows.at(0).uuid, QStringLiteral("7"));
        QCOMPARE(type, NetworkManager::FirmwareFileKey);
    }
};

QTEST_GUILESS_MAIN(TestNetRecords)
#include "tst_net_records.moc"
