// Publishing end to end over real sockets and pseudo-terminals: the cloud
// simulator over HTTPS, simulated devices, and the application's managers under
// the publishing session that the window and tamo-cli run, with shrunk timings.
// Every case ends in an honest final state: the device's outcome line, its
// status, what the device holds, and what the cloud was told.
#include "ContentsChef.h"
#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "FirmwareOffers.h"
#include "ImageConverter.h"
#include "PublishRig.h"
#include "PublishingProgress.h"
#include "PublishingSession.h"
#include "Timings.h"

#include <QJsonArray>
#include <QProcess>
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
            << "failed: the upload could not be prepared" << error << QString() << true;
        QTest::newRow("file download cut short")
            << QStringList{"--close-mid-answer", "files/*@1"} << none << noFault << int(Unchanged) << 1 << 1
            << "failed: the picture" << error << QString() << true;
        QTest::newRow("undecodable picture")
            << none << none << noFault << int(UndecodablePicture) << 1 << 1
            << "failed: the picture broken.jpg could not be converted" << error << "failed" << true;
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
        QTest::newRow("firmware version request fails once")
            << QStringList{"--fail", "setting/platform@1=500"} << none << noFault << int(Unchanged) << 1 << 2
            << "uploaded" << int(DeviceInfo::Connected) << "success" << false;
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
        if (edit == UndecodablePicture) {
            files.insert(QStringLiteral("broken.jpg"), QByteArrayLiteral("\xff\xd8\xff\xe0 not a picture"));
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
        } else if (edit == FirmwareOffer) {
            QJsonObject firmware = fixture.value(QStringLiteral("firmware")).toObject();
            firmware.insert(QStringLiteral("offerAtRegistration"), true);
            fixture.insert(QStringLiteral("firmware"), firmware);
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
        QVERIFY2(rig.startCloud(fixture, files, cloudFaults), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(devices, deviceArgs), qPrintable(rig.failure()));
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
        }

        QStringList macs{kMac1};
        if (devices > 1)
            macs << kMac2;
        for (const QString &mac : qAsConst(macs)) {
            // A device whose firmware is being upgraded publishes once it is back.
            QTRY_VERIFY_WITH_TIMEOUT(rig.outcomes(mac).size() >= pass, 90000);
            QVERIFY(rig.waitForOutcomes({mac}));
            const QString reached = rig.outcomes(mac).at(pass - 1);
            QVERIFY2(reached.startsWith(outcome), qPrintable(reached));
            QCOMPARE(rig.status(mac), status);
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

        const QMap<QString, int> items = rig.deviceItems(1);
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
    // cloud and devices, one line per device and step, and its exit code.
    void publishCommand_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("cloudFaults");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("errors"); // a pattern

        const QString good = QLatin1String(PublishRig::kPassword);
        const QString mac = kMac1 + QLatin1Char('\t');
        const QStringList published{mac + "registered", mac + "campaign\t1001", mac + "uploaded\t10 items"};
        QTest::newRow("password file") << good << true << QStringList() << QStringList() << 0 << published << QString();
        QTest::newRow("password on standard input")
            << good << false << QStringList() << QStringList() << 0 << published << QString();
        // Its own exit code, which the hub service does not restart after.
        QTest::newRow("wrong password")
            << "not-it" << false << QStringList() << QStringList() << 3 << QStringList() << "login failed";
        QTest::newRow("cloud fails the login")
            << good << true << QStringList() << QStringList{"--fail", "signin/=503"} << 1 << QStringList()
            << "login failed";
        QTest::newRow("watch until stopped")
            << good << true << QStringList{"--watch"} << QStringList() << 0 << (published + QStringList{mac + "up to date"})
            << QString();
        QTest::newRow("time-out names the busy device")
            << good << true << QStringList{"--timeout", "3"} << QStringList{"--latency-ms", "1500"} << 1
            << QStringList() << "still busy: (" + kMac1 + "|TAMOSIM0001)";
    }

    void publishCommand()
    {
        QFETCH(QString, password);
        QFETCH(bool, fromFile);
        QFETCH(QStringList, options);
        QFETCH(QStringList, cloudFaults);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QString, errors);

        PublishRig rig;
        QVERIFY2(rig.startCloud(PublishRig::demoFixture(), PublishRig::demoFiles(), cloudFaults), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(1), qPrintable(rig.failure()));
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
        const QStringList printed = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines)
            QVERIFY2(printed.contains(line), qPrintable(printed.join(QLatin1Char('\n'))));
        if (!errors.isEmpty())
            QVERIFY2(err.contains(QRegularExpression(errors)), qPrintable(err.right(2000)));
        QVERIFY(!err.contains(password)); // nothing logs the password
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

    // A road's end writes the device's status, never over a job that is not the
    // road's: that would hide the job, and the heartbeat would start another.
    void roadsEndNeverHidesABusyDevice()
    {
        PublishRig rig;
        QVERIFY2(rig.startCloud(baseFixture(), PublishRig::demoFiles()), qPrintable(rig.failure()));
        QVERIFY2(rig.startDevices(1), qPrintable(rig.failure()));
        QVERIFY2(rig.loginAndAttach(1), qPrintable(rig.failure()));
        const struct { int busy; bool roadsJob; int status; } cases[] = {
            {DeviceInfo::Connected, false, DeviceInfo::Error},
            {DeviceInfo::Transferring, false, DeviceInfo::Transferring},
            {DeviceInfo::Transferring, true, DeviceInfo::Error}, // left by the road's own job
            {DeviceInfo::DeletingContent, false, DeviceInfo::DeletingContent},
            {DeviceInfo::UpgradingFirmware, true, DeviceInfo::UpgradingFirmware}, // begun after the road's job
        };
        for (const auto &c : cases) {
            PublishingProgress progress;
            progress.setDevicesManager(rig.devices());
            progress.begin(kMac1);
            if (c.roadsJob)
                progress.noteDeviceJob(kMac1);
            rig.devices()->setDeviceValues(kMac1, {{DeviceInfo::Status, c.busy}});
            progress.finish(kMac1, PublishingProgress::Failed, QStringLiteral("the cloud refused"));
            QVERIFY2(rig.status(kMac1) == c.status,
                     qPrintable(QStringLiteral("left %1, now %2").arg(c.busy).arg(rig.status(kMac1))));
        }
    }

    void offeredFirmwareGetsAPlainName_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "https://cloud.test/files/3/tamo-1.6.0.dfu" << "tamo-1.6.0.dfu";
        QTest::newRow("no suffix") << "https://cloud.test/files/3/firmware" << "firmware.dfu";
        QTest::newRow("trailing slash") << "https://cloud.test/files/3/fw.bin/" << "fw.bin.dfu";
        QTest::newRow("suffix in capitals") << "https://cloud.test/files/3/FW.DFU" << "FW.DFU.dfu";
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
