// Publishing end to end over real sockets and pseudo-terminals: the cloud
// simulator over HTTPS, simulated devices, and the application's managers under
// the publishing session that the window and tamo-cli run, with shrunk timings.
// Every case ends in an honest final state: the device's outcome line, its
// status, what the device holds, and what the cloud was told.
#include "ContentsChef.h"
#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "DownloadRequest.h"
#include "FirmwareOffers.h"
#include "LogCategories.h"
#include "LogMessageHandler.h"
#include "LogRecorder.h"
#include "Logger.h"
#include "ImageConverter.h"
#include "PublishRig.h"
#include "PublishingProgress.h"
#include "PublishingSession.h"
#include "Timings.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {

const QString kMac1 = PublishRig::macOf(1);
const QString kMac2 = PublishRig::macOf(2);
const QString kMac3 = PublishRig::macOf(3);
const QString kFirmwareFile = QStringLiteral("tamo-firmware-1.6.0.dfu");

QJsonObject content(int id, qint64 uuid, const QString &file, const QString &createdAt)
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("uuid"), uuid},
                       {QStringLiteral("file"), file},
                       {QStringLiteral("createdAt"), createdAt}};
}

// Edits one array of a fixture in place.
void editArray(QJsonObject *fixture, const QString &key, const std::function<void(QJsonArray &)> &edit)
{
    QJsonArray array = fixture->value(key).toArray();
    edit(array);
    fixture->insert(key, array);
}

void setDeviceField(QJsonObject *fixture, const QString &mac, const QString &field, const QJsonValue &value)
{
    editArray(fixture, QStringLiteral("devices"), [&](QJsonArray &devices) {
        for (int i = 0; i < devices.size(); ++i) {
            QJsonObject device = devices.at(i).toObject();
            if (device.value(QStringLiteral("mac")).toString() == mac) {
                device.insert(field, value);
                devices[i] = device;
            }
        }
    });
}

void setEventContent(QJsonObject *fixture, const QString &mac, const QJsonArray &contentIds, qint64 defaultId)
{
    editArray(fixture, QStringLiteral("events"), [&](QJsonArray &events) {
        for (int i = 0; i < events.size(); ++i) {
            QJsonObject event = events.at(i).toObject();
            if (event.value(QStringLiteral("mac")).toString() == mac) {
                event.insert(QStringLiteral("contentIds"), contentIds);
                event.insert(QStringLiteral("defaultContentId"), defaultId);
                events[i] = event;
            }
        }
    });
}

// The demo as the cases need it: a minimum firmware every simulated device
// meets, so that only the campaign gate stops an old device, and two pictures
// that no campaign uses, with creation dates (the cloud knows them).
QJsonObject baseFixture()
{
    QJsonObject fixture = PublishRig::demoFixture();
    fixture.insert(QStringLiteral("minFWVersion"), QStringLiteral("1.5.0"));
    setDeviceField(&fixture, kMac3, QStringLiteral("toErase"), false);
    editArray(&fixture, QStringLiteral("contents"), [](QJsonArray &contents) {
        contents.append(content(701, 7001, QStringLiteral("badge.png"), QStringLiteral("2024-03-01T08:00:00.000Z")));
        contents.append(content(702, 7002, QStringLiteral("banner.png"), QStringLiteral("2024-03-02T08:00:00.000Z")));
    });
    return fixture;
}

// How many slots the demo's animation takes once converted.
int animationSlots()
{
    ImageConverter converter;
    QSignalSpy converted(&converter, &ImageConverter::converted);
    converter.enqueue(ImageData(GifType, QStringLiteral("spinner"),
                                {ImageFrame{PublishRig::demoFiles().value(QStringLiteral("spinner.gif")), 0}}));
    return converted.wait(30000) ? converted.at(0).at(0).value<ImageData>().frames.size() : -1;
}

QSet<QString> ids(const QStringList &list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

QStringList idTexts(const QJsonArray &array)
{
    QStringList texts;
    for (const QJsonValue &value : array)
        texts << QString::number(value.toVariant().toLongLong());
    return texts;
}

enum FixtureEdit {
    Unchanged,
    UndecodablePicture,
    OversizedCampaign,
    FirmwareOffer,
    ChangedWhilePlanning,
    UnknownItemType,      // a campaign item the device cannot show
    ItemWithoutFile,
    FirmwareFileMissing,  // the offered firmware answers 404
    ReplugWhileSlow,      // unplugged and plugged in while its campaign answer is on its way
    DuplicateMac,         // a second device reports the first one's MAC
    ReadAgainAtOnce,      // device 1 is read again right after the first pass started
    OversizedPicture,     // a picture beyond the size a download may have
};

} // namespace

class TestPublish : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Timings::setScale(0.05);
        // The cases are about outcomes, not about a slow cloud: a loaded machine
        // (a sanitizer build) must not turn a slow answer into a fault.
        Timings::set(Timings::RequestTimeout, 30000);
        qputenv("TAMO_TIMING_SCALE", "0.05");
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        m_animationSlots = animationSlots();
        QVERIFY(m_animationSlots > 1);
    }

    // One device holds part of its campaign and stale items and needs one slot
    // freed; one runs firmware 1.5.27; the cloud asks for one to be erased.
    void threeDevicesReachTheirCampaigns()
    {
        QJsonObject fixture = baseFixture();
        setDeviceField(&fixture, kMac3, QStringLiteral("toErase"), true);
        // The cloud's record of device 2 is out of date: only the update corrects it.
        setDeviceField(&fixture, kMac2, QStringLiteral("firmwareRevision"), QStringLiteral("1.5.20"));
        PublishRig rig;
        QVERIFY2(rig.startCloud(fixture, PublishRig::demoFiles()), qPrintable(rig.failure()));
        // Device 1 holds 5101, 5102 (wanted) and 7001, 7002, 9999 (stale): five slots.
        // Its campaign still needs 5103, 5104, the animation and four slideshow
        // pictures (the charging one included): one slot more than is free.
        const int slotCount = 5 + 2 + m_animationSlots + 4 - 1;
        QVERIFY2(rig.startDevices(3, {QStringLiteral("--slots"), QString::number(slotCount), QStringLiteral("--erase-ms"),
                                      QStringLiteral("100")}),
                 qPrintable(rig.failure()));
        QCOMPARE(rig.sim().control(QStringLiteral("set TAMOSIM0002 fw 1.5.27")).left(2), QStringLiteral("ok"));
        QVERIFY2(rig.loginAndAttach(3), qPrintable(rig.failure()));
        QVERIFY2(rig.preload(kMac1, {"5101", "5102", "7001", "7002", "9999"}), qPrintable(rig.failure()));
        QVERIFY2(rig.preload(kMac3, {"7001"}), qPrintable(rig.failure()));

        rig.startPublishing();
        // The erased device gets its campaign on its next pass.
        QVERIFY(rig.waitForOutcomes({kMac1, kMac2, kMac3}));

        // Device 1: the newest stale item made room; nothing it wanted was deleted.
        QVERIFY2(rig.outcome(kMac1).startsWith(QLatin1String("uploaded")), qPrintable(rig.outcome(kMac1)));
        QCOMPARE(rig.status(kMac1), int(DeviceInfo::Connected));
        const QMap<QString, int> items1 = rig.deviceItems(1);
        QCOMPARE(ids(items1.keys()), ids({"5101", "5102", "5103", "5104", "5105", "5106", "5107", "5108", "5109",
                                          "6201", "7001", "9999"}));
        QCOMPARE(items1.value(QStringLiteral("5105")), m_animationSlots);
        const QJsonObject snapshot1 = rig.sim().snapshot(QStringLiteral("TAMOSIM0001"));
        const QJsonObject slideShow = rig.sim().item(QStringLiteral("6201"));
        QCOMPARE(slideShow.value(QStringLiteral("images")).toArray(), QJsonArray({"5106", "5107", "5108"}));
        QCOMPARE(slideShow.value(QStringLiteral("interval")).toInt(), 5);
        QCOMPARE(snapshot1.value(QStringLiteral("defaultContent")).toString(), QStringLiteral("6201"));
        QCOMPARE(snapshot1.value(QStringLiteral("chargingDisplay")).toArray().first().toObject().value("picture").toString(),
                 QStringLiteral("5109"));
        QCOMPARE(rig.uploadStatuses(kMac1), QStringList{QStringLiteral("success")});
        const QJsonObject cloud1 = rig.cloudDevice(kMac1);
        QCOMPARE(ids(idTexts(cloud1.value(QStringLiteral("tamoIds")).toArray())),
                 ids({"5101", "5102", "5103", "5104", "5105", "5106", "5107", "5108", "5109", "7001", "9999"}));
        QCOMPARE(idTexts(cloud1.value(QStringLiteral("postIds")).toArray()), QStringList{QStringLiteral("6201")});

        // Device 2: registered and its record brought up to date, never sent a campaign.
        QVERIFY2(rig.outcome(kMac2).startsWith(QLatin1String("failed: firmware 1.5.27")), qPrintable(rig.outcome(kMac2)));
        QCOMPARE(rig.status(kMac2), int(DeviceInfo::Error));
        QVERIFY(rig.steps(kMac2).contains(QStringLiteral("Registered")));
        QVERIFY(rig.deviceItems(2).isEmpty());
        QCOMPARE(rig.cloudDevice(kMac2).value(QStringLiteral("firmwareRevision")).toString(), QStringLiteral("1.5.27"));
        QVERIFY(rig.uploadStatuses(kMac2).isEmpty());

        // Device 3: erased first (the cloud told), then its campaign.
        QVERIFY(rig.steps(kMac3).contains(QStringLiteral("Erased")));
        QCOMPARE(ids(rig.deviceItems(3).keys()), ids({"5103", "5104", "5106", "5107", "5108", "5109", "6201"}));
        QCOMPARE(rig.sim().snapshot(QStringLiteral("TAMOSIM0003")).value(QStringLiteral("defaultContent")).toString(),
                 QStringLiteral("5103"));
        const QJsonArray erasures = rig.cloud()->actions(QStringLiteral("erasures"));
        QCOMPARE(erasures.size(), 1);
        QCOMPARE(erasures.at(0).toObject().value(QStringLiteral("wasRequested")).toBool(), true);
        QCOMPARE(rig.cloudDevice(kMac3).value(QStringLiteral("toErase")).toBool(), false);
        QCOMPARE(rig.uploadStatuses(kMac3), QStringList{QStringLiteral("success")});
        QCOMPARE(rig.status(kMac3), int(DeviceInfo::Connected));
    }

    // Every fault ends with the device's outcome said, its status set, nothing
    // half-made on the device, and the cloud's record true to the device.
    void faultsEndHonestly_data()
    {
        QTest::addColumn<QStringList>("cloudFaults");
        QTest::addColumn<QStringList>("deviceArgs");
        QTest::addColumn<QString>("deviceFault");
        QTest::addColumn<int>("edit");
        QTest::addColumn<int>("devices");
        QTest::addColumn<int>("pass"); // whose outcome is checked: 1 the first
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("cloudStatus");
        QTest::addColumn<bool>("nothingSent");

        const QStringList none;
        const QString noFault;
        const int error = DeviceInfo::Error;
        QTest::newRow("cloud 500 on content info")
            << QStringList{"--fail", "account/content/device=500"} << none << noFault << int(Unchanged) << 1 << 1
            << "failed: the creation dates of the device's items could not be loaded" << error << QString() << true;
        QTest::newRow("gateway page instead of the campaign")
            << QStringList{"--fail", "account/event/last=502"} << none << noFault << int(Unchanged) << 1 << 1
            << "failed: the campaign could not be loaded: HTTP 502" << error << QString() << true;
        QTest::newRow("file download cut short")
            << QStringList{"--close-mid-answer", "files/*@1"} << none << noFault << int(Unchanged) << 1 << 1
            << "failed: the picture" << error << QString() << true;
        QTest::newRow("undecodable picture")
            << none << none << noFault << int(UndecodablePicture) << 1 << 1
            << "failed: the picture broken.jpg could not be converted" << error << "failed" << true;
        QTest::newRow("picture larger than allowed")
            << none << none << noFault << int(OversizedPicture) << 1 << 1
            << "failed: the picture broken.jpg could not be downloaded: The picture is larger than the 50 MiB allowed"
            << error << "failed" << true;
        QTest::newRow("device unplugged mid-upload")
            << none << none << "fault TAMOSIM0001 unplug-after-parts 20" << int(Unchanged) << 1 << 1
            << "failed: the upload failed" << -1 << "failed" << true;
        QTest::newRow("full device")
            << none << QStringList{"--slots", "6"} << noFault << int(Unchanged) << 1 << 1
            << "failed: the upload failed" << error << "failed" << false;
        QTest::newRow("113-slot campaign")
            << none << none << noFault << int(OversizedCampaign) << 1 << 1 << "failed: the campaign needs 113 slots"
            << error << QString() << true;
        QTest::newRow("firmware offered to two devices")
            << none << none << noFault << int(FirmwareOffer) << 2 << 1 << "uploaded" << int(DeviceInfo::Connected)
            << "success" << false;
        QTest::newRow("cloud refuses device updates")
            << QStringList{"--fail", "account/tamo_device/*=500"} << none << noFault << int(Unchanged) << 1 << 1
            << "uploaded" << int(DeviceInfo::Connected) << "success" << false;
        QTest::newRow("firmware version request fails once while two devices wait")
            << QStringList{"--fail", "setting/platform@1=500"} << none << noFault << int(ReadAgainAtOnce) << 2 << 2
            << "uploaded" << int(DeviceInfo::Connected) << "success" << false;
        QTest::newRow("replugged while its campaign answer is slow")
            << QStringList{"--slow-body", "account/event/last@1=3000"} << none << noFault << int(ReplugWhileSlow) << 1
            << 2 << "uploaded" << int(DeviceInfo::Connected) << "success" << false;
        QTest::newRow("item of a type the device cannot show")
            << none << none << noFault << int(UnknownItemType) << 1 << 1
            << "failed: item 7901 is video/mp4, which the device cannot show" << error << "failed" << true;
        QTest::newRow("item without a file")
            << none << none << noFault << int(ItemWithoutFile) << 1 << 1
            << "failed: item 7902 has no file in the cloud" << error << "failed" << true;
        QTest::newRow("offered firmware missing in the cloud")
            << none << none << noFault << int(FirmwareFileMissing) << 1 << 1 << "uploaded" << error << "success"
            << false;
        QTest::newRow("second device reports the first one's MAC")
            << none << none << noFault << int(DuplicateMac) << 2 << 1 << "uploaded" << int(DeviceInfo::Connected)
            << "success" << false;
        QTest::newRow("campaign changed while it is planned")
            << QStringList{"--slow-body", "account/content/device@1=2000"} << none << noFault
            << int(ChangedWhilePlanning) << 1 << 1 << "uploaded" << int(DeviceInfo::Connected) << "success" << false;
    }

    void faultsEndHonestly()
    {
        QFETCH(QStringList, cloudFaults);
        QFETCH(QStringList, deviceArgs);
        QFETCH(QString, deviceFault);
        QFETCH(int, edit);
        QFETCH(int, devices);
        QFETCH(int, pass);
        QFETCH(QString, outcome);
        QFETCH(int, status);
        QFETCH(QString, cloudStatus);
        QFETCH(bool, nothingSent);

        QJsonObject fixture = baseFixture();
        QMap<QString, QByteArray> files = PublishRig::demoFiles();
        if (edit == UndecodablePicture || edit == OversizedPicture) {
            files.insert(QStringLiteral("broken.jpg"), edit == OversizedPicture
                                                           ? QByteArray(DownloadRequest::MaxPictureBytes + 1, 'x')
                                                           : QByteArrayLiteral("\xff\xd8\xff\xe0 not a picture"));
            editArray(&fixture, QStringLiteral("contents"), [](QJsonArray &contents) {
                contents.append(content(790, 7900, QStringLiteral("broken.jpg"), QStringLiteral("2024-03-03T08:00:00.000Z")));
            });
            setEventContent(&fixture, kMac1, {5101, 5102, 7900}, 5101);
        } else if (edit == OversizedCampaign) {
            QJsonArray campaign;
            editArray(&fixture, QStringLiteral("contents"), [&campaign](QJsonArray &contents) {
                for (int i = 0; i < 109; ++i) {
                    contents.append(content(800 + i, 8000 + i, QStringLiteral("badge.png"),
                                            QStringLiteral("2024-03-04T08:00:00.000Z")));
                    campaign.append(8000 + i);
                }
            });
            campaign.append(6201); // a slide show and its three pictures: slots 110 to 113
            setEventContent(&fixture, kMac1, campaign, 8000);
        } else if (edit == FirmwareOffer || edit == FirmwareFileMissing) {
            QJsonObject firmware = fixture.value(QStringLiteral("firmware")).toObject();
            firmware.insert(QStringLiteral("offerAtRegistration"), true);
            if (edit == FirmwareFileMissing)
                firmware.insert(QStringLiteral("file"), QStringLiteral("missing-firmware.dfu"));
            fixture.insert(QStringLiteral("firmware"), firmware);
        } else if (edit == UnknownItemType || edit == ItemWithoutFile) {
            editArray(&fixture, QStringLiteral("contents"), [](QJsonArray &contents) {
                QJsonObject clip = content(791, 7901, QStringLiteral("badge.png"), QStringLiteral("2024-03-03T08:00:00.000Z"));
                clip.insert(QStringLiteral("imageFormat"), QStringLiteral("video/mp4"));
                contents.append(clip);
                QJsonObject bare = content(792, 7902, QString(), QStringLiteral("2024-03-03T09:00:00.000Z"));
                bare.remove(QStringLiteral("file"));
                contents.append(bare);
            });
            // The device's current content is the default slideshow it was given.
            setEventContent(&fixture, kMac1, {5102, edit == UnknownItemType ? 7901 : 7902, 6201}, 6201);
        }

        QTemporaryDir replies;
        if (edit == ChangedWhilePlanning) {
            // The first answer names part of event 1001; the cloud's own, later, all of it.
            QFile partial(replies.filePath(QStringLiteral("event.json")));
            QVERIFY(partial.open(QIODevice::WriteOnly)
                    && partial.write(R"({"data":{"campaignEvent":{"id":1001,"contentIds":[5101,5102,5103],)"
                                     R"("defaultContentId":5101,"isUploaded":false,"macAddress":"c4:4f:33:0a:0b:01"}}})") > 0);
            cloudFaults << QStringLiteral("--reply") << QStringLiteral("account/event/last@1=") + partial.fileName();
        }

        PublishRig rig;
        LogRecorder log;
        QVERIFY2(rig.startCloud(fixture, files, cloudFaults), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(devices, deviceArgs), qPrintable(rig.failure()));
        if (edit == DuplicateMac)
            QCOMPARE(rig.sim().control(QStringLiteral("set TAMOSIM0002 mac ") + kMac1).left(2), QStringLiteral("ok"));
        QVERIFY2(rig.loginAndAttach(devices), qPrintable(rig.failure()));
        // The cloud knows what the device holds; a fault must not make it forget.
        QVERIFY2(rig.preload(kMac1, {"5101"}), qPrintable(rig.failure()));
        if (!deviceFault.isEmpty())
            QCOMPARE(rig.sim().control(deviceFault).left(2), QStringLiteral("ok"));

        QTemporaryDir downloads;
        const QString operatorsFile = downloads.filePath(kFirmwareFile);
        if (edit == FirmwareOffer) {
            QFile mine(operatorsFile);
            QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("the operator's own file") > 0);
        }
        rig.startPublishing();
        rig.session()->chef()->firmwareOffers()->setFolder(downloads.path());
        if (edit == ChangedWhilePlanning) {
            // The device is read again while its plan waits for the cloud's dates.
            QTRY_VERIFY_WITH_TIMEOUT(!rig.cloud()->requests(QStringLiteral("account/content/device")).isEmpty(), 60000);
            emit rig.devices()->devicesReady(rig.devices()->devicesModel()->devices());
        } else if (edit == ReadAgainAtOnce) {
            // A second firmware-version request while the first (failing) one is on its way.
            const DevicesModel *model = rig.devices()->devicesModel();
            emit rig.devices()->devicesReady({model->device(model->findRow(DeviceInfo::MacAddress, kMac1))});
        } else if (edit == ReplugWhileSlow) {
            QTRY_VERIFY_WITH_TIMEOUT(!rig.cloud()->requests(QStringLiteral("account/event/last")).isEmpty(), 60000);
            QCOMPARE(rig.sim().control(QStringLiteral("unplug TAMOSIM0001")).left(2), QStringLiteral("ok"));
            QTRY_COMPARE_WITH_TIMEOUT(rig.status(kMac1), -1, 30000);
            QCOMPARE(rig.sim().control(QStringLiteral("plug TAMOSIM0001")).left(2), QStringLiteral("ok"));
        }

        QStringList macs{kMac1};
        if (devices > 1 && edit != DuplicateMac)
            macs << kMac2;
        for (const QString &mac : qAsConst(macs)) {
            // A device whose firmware is being upgraded publishes once it is back.
            QTRY_VERIFY_WITH_TIMEOUT(rig.outcomes(mac).size() >= pass, 90000);
            QVERIFY(rig.waitForOutcomes({mac}));
            const QString reached = rig.outcomes(mac).at(pass - 1);
            QVERIFY2(reached.startsWith(outcome), qPrintable(reached));
            // An unplugged device's row goes once discovery has seen it go.
            QTRY_COMPARE_WITH_TIMEOUT(rig.status(mac), status, 30000);
            const QStringList statuses = rig.uploadStatuses(mac);
            QCOMPARE(statuses.isEmpty() ? QString() : statuses.last(), cloudStatus);
            // The cloud's record of the device is never blanked by a failed answer.
            if (status >= 0)
                QCOMPARE(rig.devices()->deviceValue(mac, DeviceInfo::Label).toString(),
                         rig.cloudDevice(mac).value(QStringLiteral("label")).toString());
        }
        // One registration per device and firmware-version answer, however many
        // passes queued the device while an answer was awaited.
        int platformAnswers = 0;
        int registrations = 0;
        for (const QJsonValue &value : rig.cloud()->requests()) {
            const QJsonObject request = value.toObject();
            platformAnswers += request.value("path") == "setting/platform" && request.value("status") == 200;
            registrations += request.value("path") == "tamo_device_usb";
        }
        QVERIFY2(registrations <= devices * platformAnswers, qPrintable(QString::number(registrations)));

        // Of two devices with one MAC, the one read first gets the content.
        int holder = 1;
        if (edit == DuplicateMac) {
            const DevicesModel *model = rig.devices()->devicesModel();
            const QString first = rig.devices()->deviceValue(kMac1, DeviceInfo::SerialNumber).toString();
            const QString second = first == QLatin1String("TAMOSIM0001") ? QStringLiteral("TAMOSIM0002")
                                                                          : QStringLiteral("TAMOSIM0001");
            holder = first.right(1).toInt();
            const DeviceInfo refused = model->device(model->findRow(DeviceInfo::SerialNumber, second));
            QCOMPARE(refused.value(DeviceInfo::Status).toInt(), int(DeviceInfo::Error));
            QVERIFY2(refused.value(DeviceInfo::LastError).toString().contains(first),
                     qPrintable(refused.value(DeviceInfo::LastError).toString()));
            QVERIFY(rig.deviceItems(second.right(1).toInt()).isEmpty());
        }
        const QMap<QString, int> items = rig.deviceItems(holder);
        if (nothingSent)
            QCOMPARE(items.keys(), QStringList{QStringLiteral("5101")});
        if (edit == ChangedWhilePlanning)
            QCOMPARE(ids(items.keys()), ids({"5101", "5102", "5103", "5104", "5105", "5106", "5107", "5108", "5109", "6201"}));
        // Every record of the device's content sent to the cloud names what the
        // device held; the last one names what it holds now.
        QStringList pictures;
        for (auto it = items.cbegin(); it != items.cend(); ++it)
            if (it.value() > 0)
                pictures << it.key();
        QJsonArray contentUpdates;
        for (const QJsonValue &update : rig.deviceUpdates(kMac1))
            if (update.toObject().contains(QStringLiteral("tamoId")))
                contentUpdates.append(update);
        for (const QJsonValue &update : qAsConst(contentUpdates))
            QVERIFY(!update.toObject().value(QStringLiteral("tamoId")).toArray().isEmpty());
        if (!contentUpdates.isEmpty()) {
            const QStringList told = idTexts(contentUpdates.last().toObject().value(QStringLiteral("tamoId")).toArray());
            QVERIFY2(ids(told) == ids(pictures),
                     qPrintable(QStringLiteral("cloud told %1, device holds %2").arg(told.join(','), pictures.join(','))));
        }

        if (edit == UndecodablePicture || edit == OversizedPicture) {
            // The next pass of the same campaign fails at once: the file is not fetched again.
            QTRY_VERIFY_WITH_TIMEOUT(rig.outcomes(kMac1).size() >= 2, 60000);
            QVERIFY2(rig.outcomes(kMac1).at(1).contains(QLatin1String("broken.jpg")), qPrintable(rig.outcomes(kMac1).at(1)));
            int brokenDownloads = 0;
            for (const QJsonValue &request : rig.cloud()->requests())
                brokenDownloads += request.toObject().value(QStringLiteral("path")).toString().endsWith("broken.jpg");
            QCOMPARE(brokenDownloads, 1);
        }
        if (edit == UnknownItemType || edit == ItemWithoutFile) {
            // Nothing was deleted: the device still shows what it showed.
            QCOMPARE(rig.cloud()->requests(QStringLiteral("account/content/device")).size(), 0);
        }
        if (edit == ReplugWhileSlow) {
            // The first pass's answer arrives after its pass ended: it is dropped, not uploaded again.
            QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("Dropped a campaign event of pass")) == 1, 30000);
            QVERIFY(rig.waitForOutcomes({kMac1}));
            QCOMPARE(rig.outcomes(kMac1).first(), QStringLiteral("failed: the device was unplugged"));
            QCOMPARE(rig.uploadStatuses(kMac1), QStringList{QStringLiteral("success")});
            QCOMPARE(rig.status(kMac1), int(DeviceInfo::Connected));
        }
        if (edit == FirmwareFileMissing) {
            const QStringList failed = rig.steps(kMac1).filter(QStringLiteral("FirmwareFailed"));
            QVERIFY2(!failed.isEmpty()
                         && failed.first().startsWith("FirmwareFailed firmware missing-firmware.dfu could not be downloaded: "),
                     qPrintable(rig.steps(kMac1).join(QLatin1Char('\n'))));
            QVERIFY(rig.devices()->deviceValue(kMac1, DeviceInfo::LastError).toString().contains("missing-firmware.dfu"));
            // The offer is made again on a later pass.
            QTRY_VERIFY_WITH_TIMEOUT(rig.steps(kMac1).filter(QStringLiteral("FirmwareFailed")).size() >= 2, 60000);
        }
        if (edit == FirmwareOffer) {
            for (int device = 1; device <= 2; ++device)
                QCOMPARE(rig.sim()
                             .snapshot(QStringLiteral("TAMOSIM000%1").arg(device))
                             .value(QStringLiteral("identity"))
                             .toObject()
                             .value(QStringLiteral("firmwareVersion"))
                             .toString(),
                         QStringLiteral("1.6.0"));
            int downloadsOfTheFile = 0;
            for (const QJsonValue &request : rig.cloud()->requests())
                downloadsOfTheFile += request.toObject().value(QStringLiteral("path")).toString().endsWith(kFirmwareFile);
            QCOMPARE(downloadsOfTheFile, 1);
            QCOMPARE(QDir(downloads.path()).entryList(QDir::Files).size(), 2);
            rig.stopPublishing();
            // Only the file the chef wrote goes; the operator's stays as it was.
            QCOMPARE(QDir(downloads.path()).entryList(QDir::Files), QStringList{kFirmwareFile});
            QFile mine(operatorsFile);
            QVERIFY(mine.open(QIODevice::ReadOnly));
            QCOMPARE(mine.readAll(), QByteArray("the operator's own file"));
        }
    }

    // With a budget too small to keep any picture, the pictures a campaign waits
    // for stay until it ends; the next device to need them has them fetched again.
    void picturesBeyondTheBudgetAreFetchedAgain()
    {
        QJsonObject fixture = baseFixture();
        setEventContent(&fixture, kMac2, {5101, 5102, 6201}, 6201);
        setEventContent(&fixture, kMac1, {5101, 5102, 6201}, 6201);
        PublishRig rig;
        QVERIFY2(rig.startCloud(fixture, PublishRig::demoFiles()), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(2), qPrintable(rig.failure()));
        // Off the bus before discovery starts: it arrives once device 1 is done.
        QCOMPARE(rig.sim().control(QStringLiteral("unplug TAMOSIM0002")).left(2), QStringLiteral("ok"));
        QVERIFY2(rig.loginAndAttach(1), qPrintable(rig.failure()));
        rig.startPublishing(1);
        QVERIFY(rig.waitForOutcomes({kMac1}));
        QVERIFY2(rig.outcome(kMac1).startsWith(QLatin1String("uploaded")), qPrintable(rig.outcome(kMac1)));

        QCOMPARE(rig.sim().control(QStringLiteral("plug TAMOSIM0002")).left(2), QStringLiteral("ok"));
        QVERIFY(rig.waitForOutcomes({kMac2}));
        QVERIFY2(rig.outcome(kMac2).startsWith(QLatin1String("uploaded")), qPrintable(rig.outcome(kMac2)));
        QCOMPARE(ids(rig.deviceItems(2).keys()), ids({"5101", "5102", "5106", "5107", "5108", "5109", "6201"}));
        int sunriseDownloads = 0;
        for (const QJsonValue &request : rig.cloud()->requests())
            sunriseDownloads += request.toObject().value(QStringLiteral("path")).toString().endsWith("sunrise.jpg");
        QCOMPARE(sunriseDownloads, 2);
    }

    // tamo-cli publish as a hub's script meets it: a child process on the same
    // cloud and devices, one line per device and step, and its exit code. With
    // --json every line is an object with the same keys, read back here; a
    // row's expected lines are then objects whose keys and values one of them
    // must hold.
    void publishCommand_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("cloudFaults");
        QTest::addColumn<int>("edit");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("printed"); // a pattern the output must match ("!pattern": must not)
        QTest::addColumn<QString>("errors"); // a pattern

        const QString good = QLatin1String(PublishRig::kPassword);
        const QString mac = kMac1 + QLatin1Char('\t');
        const QStringList published{mac + "registered", mac + "campaign\t1001", mac + "uploaded\t10 items"};
        const QString anything;
        const int plain = Unchanged;
        QTest::newRow("password file")
            << good << true << QStringList() << QStringList() << plain << 0 << published << anything << QString();
        QTest::newRow("password on standard input")
            << good << false << QStringList() << QStringList() << plain << 0 << published << anything << QString();
        // Its own exit code, which the hub service does not restart after.
        QTest::newRow("wrong password") << "not-it" << false << QStringList() << QStringList() << plain << 3
                                        << QStringList() << anything << "login failed";
        QTest::newRow("cloud fails the login")
            << good << true << QStringList() << QStringList{"--fail", "signin/=503"} << plain << 1 << QStringList()
            << anything << "login failed";
        QTest::newRow("watch until stopped")
            << good << true << QStringList{"--watch"} << QStringList() << plain << 0
            << (published + QStringList{mac + "up to date"}) << anything << QString();
        QTest::newRow("time-out names the busy device")
            << good << true << QStringList{"--timeout", "3"} << QStringList{"--latency-ms", "1500"} << plain << 1
            << QStringList() << anything << "still busy: (" + kMac1 + "|TAMOSIM0001)";
        // Flashed, gone from the bus and back: never reported as unplugged.
        QTest::newRow("firmware offered, then the campaign")
            << good << true << QStringList() << QStringList() << int(FirmwareOffer) << 0
            << QStringList{mac + "firmware offered", mac + "uploaded\t10 items"} << "!unplugged" << QString();
        QTest::newRow("second device with the same MAC")
            << good << true << QStringList() << QStringList() << int(DuplicateMac) << 1 << QStringList{mac + "uploaded\t10 items"}
            << "TAMOSIM000[12]\tfailed\tthe MAC " + kMac1 + " is already reported by the device TAMOSIM000[12]"
            << QString();
        const QString json = QStringLiteral("{\"mac\":\"%1\",").arg(kMac1);
        QTest::newRow("as JSON Lines, with a device refused")
            << good << true << QStringList{"--json"} << QStringList() << int(DuplicateMac) << 1
            << QStringList{json + "\"event\":\"registered\",\"detail\":null,\"reason\":null,\"progress\":null}",
                           json + "\"event\":\"uploaded\",\"detail\":\"10 items\"}",
                           "{\"event\":\"failed\",\"detail\":null}"}
            << "\"reason\":\"the MAC " + kMac1 + " is already reported by the device TAMOSIM000[12]\","
                                                    "\"serial\":\"TAMOSIM000[12]\"" << QString();
        QTest::newRow("as JSON Lines, a failed login")
            << "not-it" << false << QStringList{"--json"} << QStringList() << plain << 3
            << QStringList{"{\"event\":\"error\",\"serial\":null,\"mac\":null}"} << "\"reason\":\"login failed: "
            << "login failed";
    }

    void publishCommand()
    {
        QFETCH(QString, password);
        QFETCH(bool, fromFile);
        QFETCH(QStringList, options);
        QFETCH(QStringList, cloudFaults);
        QFETCH(int, edit);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QString, printed);
        QFETCH(QString, errors);

        QJsonObject fixture = PublishRig::demoFixture();
        if (edit == FirmwareOffer) {
            QJsonObject firmware = fixture.value(QStringLiteral("firmware")).toObject();
            firmware.insert(QStringLiteral("offerAtRegistration"), true);
            fixture.insert(QStringLiteral("firmware"), firmware);
        }
        PublishRig rig;
        QVERIFY2(rig.startCloud(fixture, PublishRig::demoFiles(), cloudFaults), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(edit == DuplicateMac ? 2 : 1), qPrintable(rig.failure()));
        if (edit == DuplicateMac)
            QCOMPARE(rig.sim().control(QStringLiteral("set TAMOSIM0002 mac ") + kMac1).left(2), QStringLiteral("ok"));
        QTemporaryDir dir;
        QStringList arguments{QStringLiteral("publish"), QStringLiteral("--email"), QLatin1String(PublishRig::kEmail)};
        QProcess cli;
        if (fromFile) {
            QFile file(dir.filePath(QStringLiteral("password")));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(password.toUtf8() + "\n") > 0);
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            arguments << QStringLiteral("--password-file") << file.fileName();
        }
        cli.start(QStringLiteral(TAMO_CLI_BIN), arguments + options);
        QVERIFY(cli.waitForStarted());
        if (!fromFile)
            cli.write(password.toUtf8() + "\n");
        cli.closeWriteChannel();
        QByteArray out;
        if (options.contains(QStringLiteral("--watch"))) {
            // The heartbeat's next pass finds the device up to date; then stop it.
            QTRY_VERIFY_WITH_TIMEOUT((out += cli.readAllStandardOutput()).contains("up to date"), 60000);
            cli.terminate();
        }
        QVERIFY(cli.waitForFinished(90000));
        out += cli.readAllStandardOutput();
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), exitCode);
        const QStringList printedLines = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (options.contains(QStringLiteral("--json"))) {
            QVector<QJsonObject> objects;
            for (const QString &line : printedLines) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
                QCOMPARE(object.keys(), (QStringList{"detail", "event", "mac", "progress", "reason", "serial"}));
                objects << object;
            }
            for (const QString &line : lines) {
                const QJsonObject wanted = QJsonDocument::fromJson(line.toUtf8()).object();
                QVERIFY(!wanted.isEmpty());
                const bool found = std::any_of(objects.cbegin(), objects.cend(), [&wanted](const QJsonObject &object) {
                    for (auto it = wanted.begin(); it != wanted.end(); ++it)
                        if (object.value(it.key()) != it.value())
                            return false;
                    return true;
                });
                QVERIFY2(found, qPrintable(line + QStringLiteral(" not in:\n") + printedLines.join(QLatin1Char('\n'))));
            }
        } else {
            for (const QString &line : lines)
                QVERIFY2(printedLines.contains(line), qPrintable(printedLines.join(QLatin1Char('\n'))));
        }
        if (!printed.isEmpty()) {
            const bool absent = printed.startsWith(QLatin1Char('!'));
            const QRegularExpression pattern(absent ? printed.mid(1) : printed);
            QVERIFY2(printedLines.join(QLatin1Char('\n')).contains(pattern) != absent,
                     qPrintable(printedLines.join(QLatin1Char('\n'))));
        }
        if (!errors.isEmpty())
            QVERIFY2(err.contains(QRegularExpression(errors)), qPrintable(err.right(2000)));
        QVERIFY(!err.contains(password)); // nothing logs the password
    }

    // tamo-cli convert, given the files a campaign uses, writes the very frames
    // that publishing put on the device: the same bytes, the same display times.
    void convertCommandWritesWhatTheDeviceReceived()
    {
        PublishRig rig;
        QVERIFY2(rig.startCloud(PublishRig::demoFixture(), PublishRig::demoFiles()), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(1), qPrintable(rig.failure()));
        QVERIFY2(rig.loginAndAttach(1), qPrintable(rig.failure()));
        rig.startPublishing();
        QVERIFY(rig.waitForOutcomes({kMac1}));
        QVERIFY2(rig.outcome(kMac1).startsWith(QLatin1String("uploaded")), qPrintable(rig.outcome(kMac1)));

        QTemporaryDir dir;
        QHash<QString, QString> nameOf; // content uuid -> picture name
        QStringList arguments{QStringLiteral("convert")};
        for (const QJsonValue &value : PublishRig::demoFixture().value(QStringLiteral("contents")).toArray()) {
            const QString file = value.toObject().value(QStringLiteral("file")).toString();
            QFile copy(dir.filePath(file));
            QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(PublishRig::demoFiles().value(file)) > 0);
            arguments << copy.fileName();
            nameOf.insert(idTexts({value.toObject().value(QStringLiteral("uuid"))}).first(),
                          QFileInfo(file).completeBaseName());
        }
        const QDir out(dir.filePath(QStringLiteral("out")));
        const ToolRun run = runTool(QStringLiteral(TAMO_CLI_BIN), arguments + QStringList{"-o", out.path()});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const auto sha256 = [&out](const QString &file) {
            QFile written(out.filePath(file));
            return written.open(QIODevice::ReadOnly)
                ? QString::fromLatin1(QCryptographicHash::hash(written.readAll(), QCryptographicHash::Sha256).toHex())
                : QStringLiteral("%1 not written").arg(file);
        };

        int pictures = 0;
        for (const QJsonValue &value : rig.sim().snapshot().value(QStringLiteral("items")).toArray()) {
            const QJsonObject item = value.toObject();
            const QString kind = item.value(QStringLiteral("kind")).toString();
            if (kind == QLatin1String("slideshow"))
                continue;
            ++pictures;
            const QString name = nameOf.value(item.value(QStringLiteral("id")).toString());
            QStringList expected, written;
            if (kind == QLatin1String("image")) {
                written << sha256(name + QStringLiteral(".1.jpg"));
                expected << item.value(QStringLiteral("sha256")).toString();
            } else {
                const QJsonArray hashes = item.value(QStringLiteral("frameSha256")).toArray();
                const QJsonArray tens = item.value(QStringLiteral("durations")).toArray();
                for (int i = 0; i < hashes.size(); ++i) {
                    written << sha256(QStringLiteral("%1.%2.%3ms.jpg").arg(name).arg(i + 1).arg(tens.at(i).toInt() * 10));
                    expected << hashes.at(i).toString();
                }
            }
            QCOMPARE(written, expected);
            QCOMPARE(out.entryList({name + QStringLiteral(".*")}, QDir::Files).size(), expected.size());
        }
        QCOMPARE(pictures, 9); // the campaign's four pictures, its animation, and the slideshow's four
    }

    // Logout: the detached chef answers nothing more, whatever is still in flight.
    void detachedChefDoesNothingMore()
    {
        PublishRig rig;
        QVERIFY2(rig.startCloud(baseFixture(), PublishRig::demoFiles()), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(1), qPrintable(rig.failure()));
        QVERIFY2(rig.loginAndAttach(1), qPrintable(rig.failure()));
        rig.startPublishing();
        // Logged out right after the registration is answered, while the request
        // for the device information is on its way.
        connect(rig.session()->progress(), &PublishingProgress::stepReached, &rig,
                [&rig](const QString &, PublishingProgress::Step step) {
                    if (step == PublishingProgress::Registered)
                        QMetaObject::invokeMethod(&rig, [&rig] { rig.stopPublishing(); }, Qt::QueuedConnection);
                });
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session(), 30000);
        QTest::qWait(3 * Timings::ms(Timings::HeartbeatInterval));
        QVERIFY(rig.cloud()->requests(QStringLiteral("account/event/last")).isEmpty());
        QVERIFY(rig.deviceItems(1).isEmpty());
    }

    // A pass's end writes the device's status over the statuses passes own,
    // never over a firmware upgrade's; a newer pass makes the answers of the
    // older one land nowhere.
    void passesOwnTheirStatusesAndTheirAnswers()
    {
        PublishRig rig;
        QVERIFY2(rig.startCloud(baseFixture(), PublishRig::demoFiles()), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(1), qPrintable(rig.failure()));
        QVERIFY2(rig.loginAndAttach(1), qPrintable(rig.failure()));
        const struct { int before; int after; } cases[] = {
            {DeviceInfo::Connected, DeviceInfo::Error},
            {DeviceInfo::Transferring, DeviceInfo::Error},
            {DeviceInfo::DeletingContent, DeviceInfo::Error},
            {DeviceInfo::UpgradingFirmware, DeviceInfo::UpgradingFirmware},
        };
        PublishingProgress progress;
        progress.setDevicesManager(rig.devices());
        for (const auto &c : cases) {
            PublishingRun *run = progress.begin(kMac1, QStringLiteral("TAMOSIM0001"));
            rig.devices()->setDeviceValues(kMac1, {{DeviceInfo::Status, c.before}});
            progress.finish(run, PublishingProgress::Failed, QStringLiteral("the cloud refused"));
            QVERIFY2(rig.status(kMac1) == c.after,
                     qPrintable(QStringLiteral("left %1, now %2").arg(c.before).arg(rig.status(kMac1))));
        }
        QSignalSpy finished(&progress, &PublishingProgress::finished);
        const quint64 older = progress.begin(kMac1, QStringLiteral("TAMOSIM0001"))->id;
        const PublishingRun *newer = progress.begin(kMac1, QStringLiteral("TAMOSIM0001"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(1).value<PublishingProgress::Outcome>(), PublishingProgress::NextPass);
        QVERIFY(!progress.answered(older, PublishingRun::WaitingForMinimumFirmware, "a test answer"));
        QVERIFY(!progress.answered(newer->id, PublishingRun::Registering, "a test answer"));
        QCOMPARE(progress.answered(newer->id, PublishingRun::WaitingForMinimumFirmware, "a test answer"), newer);
    }

    // Text from outside (the cloud's error and version texts, file and firmware
    // names, a device's name) reaches the window's activity log as text, never
    // as markup; so does a line logged in an activity category by other means.
    void outsideTextNeverBecomesMarkup_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("shownAs");
        const QString escaped = QStringLiteral("&lt;u&gt;x");
        QTest::newRow("cloud error text") << "error" << escaped;
        QTest::newRow("cloud error text while planning") << "planning" << escaped;
        QTest::newRow("cloud version text") << "version" << escaped;
        QTest::newRow("picture file name") << "picture" << escaped;
        // A stored file's name holds no markup characters at all.
        QTest::newRow("firmware file name") << "firmware" << "fw_u_x.dfu";
        QTest::newRow("device name") << "name" << escaped;
        QTest::newRow("a plain line in an activity category") << "plain" << escaped;
    }

    void outsideTextNeverBecomesMarkup()
    {
        QFETCH(QString, source);
        QFETCH(QString, shownAs);
        const QString markup = QStringLiteral("<u>x"); // no "/": a link name holds no folder
        QJsonObject fixture = baseFixture();
        QMap<QString, QByteArray> files = PublishRig::demoFiles();
        QStringList faults;
        QJsonObject firmware = fixture.value(QStringLiteral("firmware")).toObject();
        if (source == QLatin1String("error")) {
            faults << QStringLiteral("--fail") << QStringLiteral("tamo_device_usb=500:") + markup;
        } else if (source == QLatin1String("planning")) {
            faults << QStringLiteral("--fail") << QStringLiteral("account/content/device=500:") + markup;
        } else if (source == QLatin1String("version")) {
            fixture.insert(QStringLiteral("minFWVersion"), QStringLiteral("9.0") + markup);
        } else if (source == QLatin1String("picture")) {
            files.insert(QStringLiteral("broken.jpg"), QByteArrayLiteral("\xff\xd8 not a picture"));
            editArray(&fixture, QStringLiteral("contents"), [&markup](QJsonArray &contents) {
                QJsonObject broken = content(790, 7900, QStringLiteral("broken.jpg"), QStringLiteral("2024-03-03T08:00:00.000Z"));
                broken.insert(QStringLiteral("linkName"), QStringLiteral("a") + markup + QStringLiteral(".jpg"));
                contents.append(broken);
            });
            setEventContent(&fixture, kMac1, {5101, 7900}, 5101);
        } else if (source == QLatin1String("firmware") || source == QLatin1String("name")) {
            firmware.insert(QStringLiteral("offerAtRegistration"), true);
            if (source == QLatin1String("firmware")) {
                firmware.insert(QStringLiteral("file"), QStringLiteral("missing.dfu"));
                firmware.insert(QStringLiteral("linkName"), QStringLiteral("fw") + markup + QStringLiteral(".dfu"));
            }
            fixture.insert(QStringLiteral("firmware"), firmware);
            // Without a name in the cloud the device keeps the one it says.
            setDeviceField(&fixture, kMac1, QStringLiteral("name"), QString());
        }

        PublishRig rig;
        QVERIFY2(rig.startCloud(fixture, files, faults), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(1), qPrintable(rig.failure()));
        if (source == QLatin1String("name"))
            QCOMPARE(rig.sim().control(QStringLiteral("set TAMOSIM0001 name ") + markup).left(2), QStringLiteral("ok"));
        QVERIFY2(rig.loginAndAttach(1), qPrintable(rig.failure()));

        QStringList shown;
        const QtMessageHandler previous = qInstallMessageHandler(logMessageHandler);
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        connect(Logger::instance(), &Logger::readableMessageAdded, this, [&shown](const QString &line) { shown << line; });
        if (source == QLatin1String("plain")) {
            qCWarning(lcDeviceManager).noquote() << QStringLiteral("Device said ") + markup;
        } else {
            rig.startPublishing();
            QVERIFY(rig.waitForOutcomes({kMac1}));
        }
        disconnect(Logger::instance(), &Logger::readableMessageAdded, this, nullptr);

        QVERIFY2(!shown.filter(shownAs).isEmpty(), qPrintable(shown.join(QLatin1Char('\n'))));
        QVERIFY2(shown.filter(QStringLiteral("<u>")).isEmpty(), qPrintable(shown.filter(QStringLiteral("<u>")).join('\n')));
    }

    void offeredFirmwareGetsAPlainName_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "https://cloud.test/files/3/tamo-1.6.0.dfu" << "tamo-1.6.0.dfu";
        QTest::newRow("no suffix") << "https://cloud.test/files/3/firmware" << "firmware.dfu";
        QTest::newRow("trailing slash") << "https://cloud.test/files/3/fw.bin/" << "fw.bin.dfu";
        QTest::newRow("suffix in capitals") << "https://cloud.test/files/3/FW.DFU" << "FW.DFU.dfu";
        QTest::newRow("spelled out") << "https://cloud.test/files/3/tamo%201.6.dfu" << "tamo 1.6.dfu";
        QTest::newRow("a folder hidden in the name") << "https://cloud.test/files/3/..%2F..%2Fetc%2Fx.dfu" << "x.dfu";
    }

    void offeredFirmwareGetsAPlainName()
    {
        QFETCH(QString, link);
        QFETCH(QString, name);
        QCOMPARE(FirmwareOffers::fileNameFor(link), name);
    }

private:
    int m_animationSlots = 0;
};

QTEST_MAIN(TestPublish)
#include "tst_content_publish.moc"
