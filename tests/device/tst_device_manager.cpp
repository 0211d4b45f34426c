// The devices manager end to end against simulated devices: initialisation by
// RPC and by console, every job with its status changes and activity lines, the
// firmware upgrade through the tool stand-in (waiting for its turn, restarting
// afterwards), and unplugging.
#include "DevSim.h"
#include "DevicesManager.h"
#include "DfuSuffixCrc.h"
#include "DevicesModel.h"
#include "FirmwareRunProgress.h"
#include "Limits.h"
#include "LogRecorder.h"
#include "Timings.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed * 7) & 0xFF);
    return bytes;
}

// The command identifiers a simulated device received, in order, with runs of
// next-part commands (5) collapsed into one.
QList<int> receivedCommands(const QString &trace, const QString &serial)
{
    QList<int> ids;
    const QRegularExpression rx(QStringLiteral("^\\[%1\\] rx #\\d+ 07 ([0-9a-f]{2})").arg(serial),
                                QRegularExpression::MultilineOption);
    QRegularExpressionMatchIterator it = rx.globalMatch(trace);
    while (it.hasNext()) {
        const int id = it.next().captured(1).toInt(nullptr, 16);
        if (id == 5 && !ids.isEmpty() && ids.last() == 5)
            continue;
        ids << id;
    }
    return ids;
}

} // namespace

class TestManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static DevicesModel *model(DevicesManager &manager) { return manager.devicesModel(); }

    static QVariant field(DevicesManager &manager, const QString &serial, int key)
    {
        const int row = manager.devicesModel()->findRow(DeviceInfo::SerialNumber, serial);
        return row < 0 ? QVariant() : manager.devicesModel()->device(row).value(key);
    }

    static bool waitForRows(DevicesManager &manager, int rows, int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (manager.devicesModel()->rowCount() != rows && !deadline.hasExpired())
            QTest::qWait(10);
        return manager.devicesModel()->rowCount() == rows;
    }

    QString firmwareFile(const QString &version)
    {
        return DevSim::makeFirmware(version, m_dir.filePath(QStringLiteral("fw-%1.dfu").arg(version)), 60000);
    }

    // A firmware tool of the test's own, as TAMO_DFU_UTIL.
    void useTool(const QString &name, const QByteArray &body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        qputenv("TAMO_DFU_UTIL", QFile::encodeName(path));
    }

    // A manager that has read the simulator's devices.
    static bool startWith(DevicesManager &manager, int devices)
    {
        manager.startTracking();
        return waitForRows(manager, devices);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        DeviceInfo::registerMetaTypes();
    }

    void init()
    {
        Timings::setScale(0.01);
        Timings::set(Timings::DiscoveryPollInterval, 20);
        Timings::set(Timings::DeviceStartDelay, 200); // ten discovery ticks
        for (Timings::Id id : {Timings::CommandWait, Timings::DeleteWait, Timings::CleanUpWait, Timings::EraseWait})
            Timings::set(id, 4000);
        // A flashed device is back long before this; only the case that waits
        // for its end shortens it.
        Timings::set(Timings::FlashedDeviceGrace, 30000);
    }

    void cleanup()
    {
        Timings::restoreDefaults();
        Limits::restoreDefaults();
        qunsetenv("TAMO_DFU_UTIL");
        qunsetenv("TAMO_DFUSIM_CHUNK_DELAY_MS");
        qunsetenv("TAMO_PORTAL_URL");
    }

    void rpcInitialisationStartsOneReadPerDevice()
    {
        qputenv("TAMO_PORTAL_URL", "http://portal.example.test");
        DevSim sim;
        QVERIFY(sim.start({}, 3));
        // Versions compare as numbers: only the one below 1.5.28 is warned about.
        QVERIFY(sim.control(QStringLiteral("set TAMOSIM0002 fw 1.5.27")).startsWith(QLatin1String("ok")));
        QVERIFY(sim.control(QStringLiteral("set TAMOSIM0003 fw 1.5.28")).startsWith(QLatin1String("ok")));
        LogRecorder log;
        DevicesManager manager;
        QSignalSpy ready(&manager, &DevicesManager::devicesReady);
        QVERIFY(startWith(manager, 3));

        QCOMPARE(ready.count(), 3);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::MacAddress).toString(),
                 QStringLiteral("c4:4f:33:0a:0b:01"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0002"), DeviceInfo::MacAddress).toString(),
                 QStringLiteral("c4:4f:33:0a:0b:02"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::Name).toString(), QStringLiteral("TAMO 1"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::FwVersion).toString(), QStringLiteral("1.5.90"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::Battery).toInt(), 87);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::Brightness).toInt(), 80);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::DimLevel).toInt(), 30);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::BoardId).toString(), QStringLiteral("TB-0412"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::PlantNumber).toString(), QStringLiteral("PL-7"));
        QVERIFY(!field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::Status).isValid()); // reads as Connected

        // Announced on every tick during the start delay, read once.
        QCOMPARE(sim.requestCount(QStringLiteral("TAMOSIM0001")), 9);
        QCOMPARE(sim.requestCount(QStringLiteral("TAMOSIM0002")), 9);
        QCOMPARE(log.count(QStringLiteral("Reading MAC and Name from device '%1' with serial number 'TAMOSIM0001'")
                               .arg(DevSim::portOf(QStringLiteral("TAMOSIM0001")))), 1);
        QCOMPARE(log.count(QStringLiteral("info: Connected 1 device(s)")), 3);
        QCOMPARE(log.count(QStringLiteral("requires Firmware")), 1);
        QCOMPARE(log.count(QStringLiteral(
                     "warning: <b>TAMO Device 'c4:4f:33:0a:0b:02' requires Firmware (FW) upgrade. Please go to "
                     "https://portal.example.test/settings to download the latest FW file and the FW Upgrade Tool.</b>")),
                 1);
        QVERIFY(manager.isIdle());
    }

    void consoleFallbackWhenTheDeviceAnswersNoRpc()
    {
        Timings::set(Timings::CommandWait, 150);
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--no-rpc")}));
        LogRecorder log;
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        QCOMPARE(log.count(QStringLiteral("warning: \"Failed read device info via commnds\" \"TAMOSIM0001\"")), 1);
        // From the console: the device's own letter case, one-digit groups padded.
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::MacAddress).toString(),
                 QStringLiteral("C4:4F:33:0A:0B:01"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::Name).toString(), QStringLiteral("TAMO 1"));
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::FwVersion).toString(), QStringLiteral("1.5.90"));
        QCOMPARE(log.count(QStringLiteral("Connected 1 device(s)")), 1);
        QVERIFY(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::LastError).isNull());
    }

    // Neither RPC nor console: listed all the same, without a MAC, saying why.
    void deviceThatCannotBeReadSaysWhy()
    {
        Timings::set(Timings::CommandWait, 150);
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--no-rpc"), QStringLiteral("--no-console")}));
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        QVERIFY(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::MacAddress).toString().isEmpty());
        const QString reason = field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::LastError).toString();
        QVERIFY2(reason.startsWith(QStringLiteral("the device could not be read (")) && reason.size() > 32,
                 qPrintable(reason));
    }

    void contentJobs()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--verbose"), QStringLiteral("--erase-ms"), QStringLiteral("300")}));
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        const QString mac = QStringLiteral("c4:4f:33:0a:0b:01");
        const QString serial = QStringLiteral("TAMOSIM0001");

        // Listing an empty device.
        QSignalSpy listed(&manager, &DevicesManager::gotUuidsOnDevice);
        manager.readDeviceUuids(mac);
        QTRY_COMPARE_WITH_TIMEOUT(listed.count(), 1, 10000);
        QCOMPARE(listed.at(0).at(0).toString(), mac);
        QVERIFY(listed.at(0).at(1).toBool());
        QVERIFY(listed.at(0).at(2).toStringList().isEmpty());
        QCOMPARE(listed.at(0).at(4).toInt(), 112);

        // One still picture and one three-frame GIF.
        const QByteArray still = pattern(1000, 1);
        const QVector<ImageFrame> gif = {{pattern(200, 2), 100}, {pattern(130, 3), 75}, {pattern(97, 4), 4}};
        const int commandsBefore = receivedCommands(sim.errors(), serial).size();
        QSignalSpy uploadStarted(&manager, &DevicesManager::filesUploadingStarted);
        QSignalSpy uploaded(&manager, &DevicesManager::filesUploaded);
        QSignalSpy progress(&manager, &DevicesManager::jobProgress);
        manager.uploadFiles(mac, {UploadItem{QStringLiteral("1001"), {{still, 0}}},
                                  UploadItem{QStringLiteral("2002"), gif}},
                            {}, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(uploaded.count(), 1, 15000);
        QCOMPARE(uploadStarted.count(), 1);
        QVERIFY2(uploaded.at(0).at(1).toBool(), qPrintable(uploaded.at(0).at(2).toString()));
        // Items sent of items planned, and no progress once the job is over.
        QCOMPARE(progress.count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(progress.at(i), (QVariantList{serial, i, 2}));
        QVERIFY(!field(manager, serial, DeviceInfo::JobDone).isValid());
        QVERIFY(!field(manager, serial, DeviceInfo::JobTotal).isValid());
        // A content job leaves the status to the pass that asked for it.
        QVERIFY(!field(manager, serial, DeviceInfo::Status).isValid());
        // Cleanup, image listing, slideshow listing, image transfer, GIF container,
        // three frame transfers.
        QCOMPARE(receivedCommands(sim.errors(), serial).mid(commandsBefore),
                 (QList<int>{17, 1, 3, 30, 5, 30, 30, 5, 30, 5, 30, 5}));
        QCOMPARE(sim.item(QStringLiteral("1001")).value(QStringLiteral("sha256")).toString(), sha256(still));
        const QJsonObject stored = sim.item(QStringLiteral("2002"));
        QCOMPARE(stored.value(QStringLiteral("kind")).toString(), QStringLiteral("gif"));
        QCOMPARE(stored.value(QStringLiteral("frames")).toInt(), 3);
        const QJsonArray frameHashes = stored.value(QStringLiteral("frameSha256")).toArray();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(frameHashes.at(i).toString(), sha256(gif.at(i).data));
        QCOMPARE(stored.value(QStringLiteral("durations")).toArray(), (QJsonArray{10, 8, 0}));
        QCOMPARE(log.count(QStringLiteral("Started transfer file(s) to device '%1'. <b>Please wait").arg(mac)), 1);
        QCOMPARE(log.count(QStringLiteral("Finished transfer file(s) to device '%1'").arg(mac)), 1);
        // Every transferred item, with the listing before the transfer.
        QCOMPARE(uploaded.at(0).at(4).toStringList(), (QStringList{QStringLiteral("1001"), QStringLiteral("2002")}));

        // Delete both.
        QSignalSpy deleted(&manager, &DevicesManager::deletedOnDevice);
        manager.deleteFromDevice(mac, {QStringLiteral("1001")}, {QStringLiteral("2002")}, {});
        QTRY_COMPARE_WITH_TIMEOUT(deleted.count(), 1, 10000);
        QVERIFY(deleted.at(0).at(1).toBool());
        QVERIFY(sim.item(QStringLiteral("1001")).isEmpty());
        QVERIFY(sim.item(QStringLiteral("2002")).isEmpty());
        QCOMPARE(log.count(QStringLiteral("Started delete file(s) from device '%1'").arg(mac)), 1);
        QCOMPARE(log.count(QStringLiteral("Finished delete file(s) from device '%1'").arg(mac)), 1);

        // A slideshow with its charging picture and an activation.
        const QByteArray a = pattern(60, 5);
        const QByteArray b = pattern(70, 6);
        QSignalSpy uploadedAgain(&manager, &DevicesManager::filesUploaded);
        manager.uploadFiles(mac, {UploadItem{QStringLiteral("11"), {{a, 0}}}, UploadItem{QStringLiteral("12"), {{b, 0}}}},
                            {SlideShowInfo{QStringLiteral("900"), 7, {QStringLiteral("11"), QStringLiteral("12")},
                                           QStringLiteral("12")}},
                            QStringLiteral("900"), QStringLiteral("12"));
        QTRY_COMPARE_WITH_TIMEOUT(uploadedAgain.count(), 1, 15000);
        QVERIFY2(uploadedAgain.at(0).at(1).toBool(), qPrintable(uploadedAgain.at(0).at(2).toString()));
        QCOMPARE(uploadedAgain.at(0).at(3).toStringList(), QStringList{QStringLiteral("900")});
        QCOMPARE(uploadedAgain.at(0).at(4).toStringList(), (QStringList{QStringLiteral("11"), QStringLiteral("12")}));
        const QJsonObject slideshow = sim.item(QStringLiteral("900"));
        QCOMPARE(slideshow.value(QStringLiteral("images")).toArray(), (QJsonArray{QStringLiteral("11"), QStringLiteral("12")}));
        QCOMPARE(slideshow.value(QStringLiteral("interval")).toInt(), 7);
        QCOMPARE(sim.snapshot().value(QStringLiteral("defaultContent")).toString(), QStringLiteral("900"));

        // Erase: the device stays busy for a while; the store ends empty.
        QSignalSpy erased(&manager, &DevicesManager::deviceErased);
        manager.eraseDevice(mac);
        QTRY_COMPARE_WITH_TIMEOUT(erased.count(), 1, 15000);
        QVERIFY(erased.at(0).at(1).toBool());
        QVERIFY(sim.snapshot().value(QStringLiteral("items")).toArray().isEmpty());
        QCOMPARE(log.count(QStringLiteral("Started erasing content from device '%1'").arg(mac)), 1);
        QCOMPARE(log.count(QStringLiteral("Success. Content has been erased.")), 1);
        QVERIFY(!field(manager, serial, DeviceInfo::Status).isValid());
        // The erase, then pings while the device is busy, and nothing else.
        const QList<int> sent = receivedCommands(sim.errors(), serial);
        const QList<int> afterErase = sent.mid(sent.lastIndexOf(13) + 1);
        QVERIFY(!afterErase.isEmpty());
        QCOMPARE(QSet<int>(afterErase.begin(), afterErase.end()), QSet<int>{0});
    }

    void settingsBatteryAndReread()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--brightness"), QStringLiteral("50"), QStringLiteral("--dim-level"),
                           QStringLiteral("50")}));
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        const QString mac = QStringLiteral("c4:4f:33:0a:0b:01");
        const QString serial = QStringLiteral("TAMOSIM0001");

        // Equal values: answered at once, nothing sent.
        const int requests = sim.requestCount(serial);
        QSignalSpy updated(&manager, &DevicesManager::settingsUpdated);
        manager.setBrightness(mac, 50);
        QCOMPARE(updated.count(), 1);
        QVERIFY(updated.at(0).at(1).toBool());
        QTest::qWait(100);
        QCOMPARE(sim.requestCount(serial), requests);

        manager.setBrightness(mac, 65);
        QCOMPARE(field(manager, serial, DeviceInfo::Brightness).toInt(), 65); // written at once
        QTRY_COMPARE_WITH_TIMEOUT(updated.count(), 2, 10000);
        QVERIFY(updated.at(1).at(1).toBool());
        const QJsonObject identity = sim.snapshot().value(QStringLiteral("identity")).toObject();
        QCOMPARE(identity.value(QStringLiteral("brightness")).toInt(), 65);
        QCOMPARE(identity.value(QStringLiteral("dimLevel")).toInt(), 65);
        QCOMPARE(log.count(QStringLiteral("Changed device %1 brightnes to 65%").arg(mac)), 1);

        QVERIFY(sim.control(QStringLiteral("set TAMOSIM0001 battery 42")).startsWith(QLatin1String("ok")));
        manager.pollBattery();
        QTRY_COMPARE_WITH_TIMEOUT(field(manager, serial, DeviceInfo::Battery).toInt(), 42, 10000);

        QVERIFY(sim.control(QStringLiteral("set TAMOSIM0001 name Lobby")).startsWith(QLatin1String("ok")));
        QSignalSpy ready(&manager, &DevicesManager::devicesReady);
        manager.reinitialize({serial});
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(ready.at(0).at(0).value<QVector<DeviceInfo>>().at(0).value(DeviceInfo::Name).toString(),
                 QStringLiteral("Lobby"));
        QCOMPARE(field(manager, serial, DeviceInfo::Name).toString(), QStringLiteral("Lobby"));
    }

    void unplugDuringAnUploadStopsTheJob()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--unplug-after-parts"), QStringLiteral("6")}));
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        const QString mac = QStringLiteral("c4:4f:33:0a:0b:01");
        QSignalSpy uploaded(&manager, &DevicesManager::filesUploaded);
        manager.uploadFiles(mac, {UploadItem{QStringLiteral("77"), {{pattern(4800, 9), 0}}}}, {}, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(uploaded.count(), 1, 15000);
        QVERIFY(!uploaded.at(0).at(1).toBool());
        QVERIFY(!uploaded.at(0).at(2).toString().isEmpty());
        QVERIFY(waitForRows(manager, 0));
        QCOMPARE(log.count(QStringLiteral("info: Disonnected 1 device(s)")), 1);
        QCOMPARE(log.count(QStringLiteral("During transfer file(s) to device '%1' occured error: ").arg(mac)), 1);
        QTRY_VERIFY(manager.isIdle());
    }

    void firmwareUpgradeThroughTheManager()
    {
        DevSim sim;
        QVERIFY(sim.start({}, 2));
        const QString firmware = firmwareFile(QStringLiteral("1.6.4"));
        QVERIFY(!firmware.isEmpty());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        qputenv("TAMO_DFUSIM_CHUNK_DELAY_MS", "40"); // about two seconds for the file
        Timings::set(Timings::DfuAfterAttempt, 300);
        Timings::set(Timings::DfuToolRun, 60000);
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 2));
        const QString first = QStringLiteral("TAMOSIM0001");

        QSignalSpy finished(&manager, &DevicesManager::firmwareUpgradeFinished);
        QSignalSpy all(&manager, &DevicesManager::allDevicesUpgraded);
        QSignalSpy progress(&manager, &DevicesManager::jobProgress);
        QSignalSpy removed(model(manager), &QAbstractItemModel::rowsRemoved);
        const int place = model(manager)->findRow(DeviceInfo::SerialNumber, first);
        manager.upgradeFirmware(firmware, {first});
        QVERIFY(!manager.isIdle());
        QTRY_COMPARE_WITH_TIMEOUT(field(manager, first, DeviceInfo::Status).toInt(), int(DeviceInfo::UpgradingFirmware), 5000);
        QVERIFY(manager.isUpgrading(first));

        // Off the bus in its boot loader: the row stays.
        QTRY_VERIFY_WITH_TIMEOUT(DevSim::portOf(first).isEmpty(), 5000);
        QTest::qWait(100);
        QCOMPARE(model(manager)->rowCount(), 2);

        // Meanwhile the other device's jobs run.
        QSignalSpy listed(&manager, &DevicesManager::gotUuidsOnDevice);
        manager.readDeviceUuids(QStringLiteral("c4:4f:33:0a:0b:02"));
        QTRY_COMPARE_WITH_TIMEOUT(listed.count(), 1, 5000);
        QCOMPARE(finished.count(), 0);

        // Pulled out in the middle of the download, and plugged back in.
        QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("Downloading firmware to device 'TAMO 1': 25%")) == 1, 10000);
        QVERIFY(sim.control(QStringLiteral("unplug ") + first).startsWith(QLatin1String("ok")));
        QTest::qWait(50);
        QCOMPARE(model(manager)->rowCount(), 2);
        QCOMPARE(field(manager, first, DeviceInfo::Status).toInt(), int(DeviceInfo::UpgradingFirmware));
        QVERIFY(sim.control(QStringLiteral("plug ") + first).startsWith(QLatin1String("ok")));

        QTRY_COMPARE_WITH_TIMEOUT(all.count(), 1, 60000);
        QCOMPARE(finished.count(), 1);
        QVERIFY2(finished.at(0).at(1).toBool(), qPrintable(finished.at(0).at(2).toString()));
        QCOMPARE(log.count(QStringLiteral("Started device firmware update 'TAMO 1'. <b>Please do not unplug")), 1);
        QCOMPARE(log.count(QStringLiteral("Firmware upgrade complete on device.")), 1);
        QCOMPARE(log.count(QStringLiteral("Downloading firmware to device 'TAMO 1': 100%")), 1);
        // Percent of 100, the download's milestones (again for an attempt after the pull).
        QVERIFY(progress.count() >= 4);
        QCOMPARE(progress.last(), (QVariantList{first, 100, 100}));

        // Back with the new firmware: the fresh record takes the kept row, in its
        // place; the device never left the list, nor the count.
        QTRY_COMPARE_WITH_TIMEOUT(field(manager, first, DeviceInfo::FwVersion).toString(), QStringLiteral("1.6.4"), 15000);
        QCOMPARE(model(manager)->rowCount(), 2);
        QCOMPARE(model(manager)->findRow(DeviceInfo::SerialNumber, first), place);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(log.count(QStringLiteral("Disonnected")), 0);
        QVERIFY(model(manager)->keptSerialNumbers().isEmpty());
        QCOMPARE(field(manager, first, DeviceInfo::Status).toInt(), int(DeviceInfo::Connected));
        QTRY_VERIFY_WITH_TIMEOUT(manager.isIdle(), 5000);
    }

    // A device in its boot loader runs no firmware: a file that the boot loader
    // would not take whole never gets that far.
    void firmwareFileIsCheckedBeforeTheBootLoader_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason"); // empty: flashed
        QTest::newRow("good file from the simulator's maker") << QString() << QString();
        QTest::newRow("truncated file") << "truncated" << "it has no DFU suffix";
        QTest::newRow("wrong CRC") << "byte changed" << "its checksum does not match: the file is damaged or incomplete";
        QTest::newRow("wrong prefix size") << "prefix size" << "its DfuSe prefix gives 60309 bytes, the file holds 60293";
        QTest::newRow("wrong target size") << "target size" << "target 1 gives 60016 bytes, more than the file holds";
    }

    void firmwareFileIsCheckedBeforeTheBootLoader()
    {
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        const QString path = firmwareFile(QStringLiteral("1.6.4"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        // A size field changed, the checksum made to fit: only the sizes tell.
        const auto changeSize = [&bytes](int at, quint32 by) {
            qToLittleEndian(qFromLittleEndian<quint32>(bytes.constData() + at) + by, bytes.data() + at);
            qToLittleEndian(DfuSuffixCrc::of(bytes.constData(), bytes.size() - 4), bytes.data() + bytes.size() - 4);
        };
        if (damage == QLatin1String("truncated"))
            bytes.chop(1000);
        else if (damage == QLatin1String("byte changed"))
            bytes[30000] = static_cast<char>(bytes.at(30000) ^ 0x01);
        else if (damage == QLatin1String("prefix size"))
            changeSize(6, 16);
        else if (damage == QLatin1String("target size"))
            changeSize(11 + 266, 8);
        QVERIFY(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size());
        file.close();

        DevSim sim;
        QVERIFY(sim.start());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        Timings::set(Timings::DfuToolRun, 60000);
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        QSignalSpy finished(&manager, &DevicesManager::firmwareUpgradeFinished);
        manager.upgradeFirmware(path, {QLatin1String(DevSim::kFirstSerial)});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(manager.isIdle(), 15000);
        const auto boots = [&sim] {
            QStringList lines;
            for (const QJsonValue &line : sim.snapshot().value(QStringLiteral("log")).toArray())
                if (line.toString().startsWith(QLatin1String("boot: ")))
                    lines << line.toString();
            return lines;
        };
        if (reason.isEmpty()) {
            QVERIFY2(finished.at(0).at(1).toBool(), qPrintable(finished.at(0).at(2).toString()));
            QTRY_COMPARE_WITH_TIMEOUT(boots(), (QStringList{"boot: firmware 1.5.90", "boot: firmware 1.6.4"}), 15000);
            return;
        }
        QVERIFY(!finished.at(0).at(1).toBool());
        QCOMPARE(finished.at(0).at(2).toString(),
                 QStringLiteral("Firmware file 'fw-1.6.4.dfu' not flashed: ") + reason);
        // Never restarted: still on its first boot, attached, with its firmware.
        QCOMPARE(boots(), QStringList{"boot: firmware 1.5.90"});
        const QJsonObject device = sim.snapshot();
        QCOMPARE(device.value(QStringLiteral("state")).toString(), QStringLiteral("attached"));
        QCOMPARE(device.value(QStringLiteral("identity")).toObject().value(QStringLiteral("firmwareVersion")).toString(),
                 QStringLiteral("1.5.90"));
    }

    void uploadThatStopsHalfwayNamesWhatArrived()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--slots"), QStringLiteral("2")}));
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        QSignalSpy uploaded(&manager, &DevicesManager::filesUploaded);
        manager.uploadFiles(QStringLiteral("c4:4f:33:0a:0b:01"),
                            {UploadItem{QStringLiteral("41"), {{pattern(100, 1), 0}}},
                             UploadItem{QStringLiteral("42"), {{pattern(100, 2), 0}}},
                             UploadItem{QStringLiteral("43"), {{pattern(100, 3), 0}}}},
                            {}, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(uploaded.count(), 1, 15000);
        QVERIFY(!uploaded.at(0).at(1).toBool());
        QCOMPARE(uploaded.at(0).at(2).toString(), QStringLiteral("There are no free space on device"));
        QCOMPARE(uploaded.at(0).at(4).toStringList(), (QStringList{QStringLiteral("41"), QStringLiteral("42")}));

        // The device's last error stays until an upload succeeds, whatever else succeeds meanwhile.
        const QString serial = QStringLiteral("TAMOSIM0001");
        QCOMPARE(field(manager, serial, DeviceInfo::LastError).toString(), QStringLiteral("There are no free space on device"));
        QSignalSpy deleted(&manager, &DevicesManager::deletedOnDevice);
        manager.deleteFromDevice(QStringLiteral("c4:4f:33:0a:0b:01"), {QStringLiteral("41")}, {}, {});
        QTRY_COMPARE_WITH_TIMEOUT(deleted.count(), 1, 10000);
        QVERIFY(field(manager, serial, DeviceInfo::LastError).isValid());
        manager.uploadFiles(QStringLiteral("c4:4f:33:0a:0b:01"), {UploadItem{QStringLiteral("43"), {{pattern(100, 3), 0}}}},
                            {}, QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(uploaded.count(), 2, 15000);
        QVERIFY2(uploaded.at(1).at(1).toBool(), qPrintable(uploaded.at(1).at(2).toString()));
        QVERIFY(!field(manager, serial, DeviceInfo::LastError).isValid());
    }

    void resultsNameTheDeviceTheJobWasFor_data()
    {
        QTest::addColumn<QByteArray>("signal");
        QTest::addColumn<int>("successArgument");
        QTest::newRow("listing")
            << QByteArray(SIGNAL(gotUuidsOnDevice(QString,bool,QStringList,QStringList,int,QString,quint64))) << 1;
        QTest::newRow("delete") << QByteArray(SIGNAL(deletedOnDevice(QString,bool,quint64))) << 1;
        QTest::newRow("upload")
            << QByteArray(SIGNAL(filesUploaded(QString,bool,QString,QStringList,QStringList,quint64))) << 1;
        QTest::newRow("settings") << QByteArray(SIGNAL(settingsUpdated(QString,bool))) << 1;
        QTest::newRow("erase") << QByteArray(SIGNAL(deviceErased(QString,bool,quint64))) << 1;
    }

    void resultsNameTheDeviceTheJobWasFor()
    {
        // The device left before its job could start: the failure still names it.
        QFETCH(QByteArray, signal);
        QFETCH(int, successArgument);
        const QString mac = QStringLiteral("c4:4f:33:0a:0b:77");
        DevicesManager manager;
        QSignalSpy spy(&manager, signal.constData());
        const QString job = QString::fromLatin1(QTest::currentDataTag());
        const quint64 ticket = 41;
        if (job == QLatin1String("listing"))
            manager.readDeviceUuids(mac, ticket);
        else if (job == QLatin1String("delete"))
            manager.deleteFromDevice(mac, {QStringLiteral("1")}, {}, {}, ticket);
        else if (job == QLatin1String("upload"))
            manager.uploadFiles(mac, {UploadItem{QStringLiteral("1"), {{pattern(10, 1), 0}}}}, {}, QString(), QString(),
                                ticket);
        else if (job == QLatin1String("settings"))
            manager.setBrightness(mac, 40);
        else
            manager.eraseDevice(mac, ticket);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QCOMPARE(spy.at(0).at(0).toString(), mac);
        QVERIFY(!spy.at(0).at(successArgument).toBool());
        // The caller's ticket comes back with the result, so that it can tell it from an older one.
        if (job != QLatin1String("settings"))
            QCOMPARE(spy.at(0).last().value<quint64>(), ticket);
        QTRY_VERIFY(manager.isIdle());
    }

    void jobsForOneDeviceTakeTurns()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--latency-ms"), QStringLiteral("20")}));
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        const QString mac = QStringLiteral("c4:4f:33:0a:0b:01");
        QSignalSpy uploaded(&manager, &DevicesManager::filesUploaded);
        QSignalSpy listed(&manager, &DevicesManager::gotUuidsOnDevice);
        manager.uploadFiles(mac, {UploadItem{QStringLiteral("31"), {{pattern(2000, 1), 0}}}}, {}, QString(), QString());
        manager.readDeviceUuids(mac);
        manager.pollBattery();
        QTRY_COMPARE_WITH_TIMEOUT(listed.count(), 1, 15000);
        QCOMPARE(uploaded.count(), 1);
        QVERIFY2(uploaded.at(0).at(1).toBool(), qPrintable(uploaded.at(0).at(2).toString()));
        QVERIFY2(listed.at(0).at(1).toBool(), qPrintable(listed.at(0).at(5).toString()));
        // The listing waited for the upload to end.
        QCOMPARE(listed.at(0).at(2).toStringList(), QStringList{QStringLiteral("31")});
        QTRY_VERIFY(manager.isIdle());
    }

    void deviceReplugedDuringItsStartDelayIsReadOnItsNewPort()
    {
        Timings::set(Timings::DeviceStartDelay, 2000);
        DevSim sim;
        QVERIFY(sim.start());
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        manager.startTracking();
        QTRY_COMPARE_WITH_TIMEOUT(log.count(QStringLiteral("Reading MAC and Name from device")), 1, 5000);
        // Held open, the old terminal keeps its number: the device comes back on another.
        const QString oldPort = DevSim::portOf();
        const int held = ::open(QFile::encodeName(oldPort).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(sim.control(QStringLiteral("unplug TAMOSIM0001")).startsWith(QLatin1String("ok")));
        QVERIFY(sim.control(QStringLiteral("plug TAMOSIM0001")).startsWith(QLatin1String("ok")));
        const QString newPort = DevSim::portOf();
        QVERIFY(!newPort.isEmpty() && newPort != oldPort);
        const bool added = waitForRows(manager, 1);
        if (held >= 0)
            ::close(held);
        QVERIFY(added);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::PortName).toString(), newPort);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::MacAddress).toString(),
                 QStringLiteral("c4:4f:33:0a:0b:01"));
    }

    void firmwareAskedForAsTheUpgraderEndsIsRun()
    {
        qputenv("TAMO_DFU_UTIL", "/nonexistent/dfu-util"); // every upgrade fails at once
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--name"), QStringLiteral("<img src=x>")}, 2));
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 2));
        QSignalSpy finished(&manager, &DevicesManager::firmwareUpgradeFinished);
        manager.upgradeFirmware(QStringLiteral("fw.dfu"), {QStringLiteral("TAMOSIM0001")});
        // Without a look at the event loop: the upgrader is done with the first
        // device before the news of it has been handled.
        QThread::msleep(500);
        manager.upgradeFirmware(QStringLiteral("fw.dfu"), {QStringLiteral("TAMOSIM0002")});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 5000);
        QTRY_VERIFY(manager.isIdle());
        // Device texts are escaped before they enter the rich-text activity log.
        QCOMPARE(log.count(QStringLiteral("Started device firmware update '&lt;img src=x&gt;'.")), 2);
        QCOMPARE(log.count(QStringLiteral("Failed firmware upgrade on device '&lt;img src=x&gt;' with an error")), 2);
        QCOMPARE(log.count(QStringLiteral("<img")), 0);
    }

    // A device off the bus when its upgrade ends keeps its row for the grace
    // period, out of every job: restarting after an upgrade, with its error
    // (and the reason on its card) after a failure, since then it may be stuck
    // in its boot loader. Then it is gone.
    void flashedDeviceThatNeverReturnsLeaves_data()
    {
        QTest::addColumn<QByteArray>("tool");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        // The tools start once the device is in its boot loader, off the bus.
        const QByteArray inBootLoader = "while [ ! -e \"$TAMO_SIM_DIR/TAMOSIM0001.dfu\" ]; do sleep 0.02; done\n";
        QTest::newRow("upgraded: restarting")
            << inBootLoader + "case \"$*\" in *-D*) printf 'Download\\t[=========================] 100%%  9 bytes\\n';; "
                              "esac\nexit 0"
            << int(DeviceInfo::Restarting) << QString();
        QTest::newRow("failed: its error stays")
            << inBootLoader + "echo 'dfu-util: No DFU capable USB device available' >&2\nexit 74"
            << int(DeviceInfo::Error) << QStringLiteral("Cannot find DFU device");
    }
    void flashedDeviceThatNeverReturnsLeaves()
    {
        QFETCH(QByteArray, tool);
        QFETCH(int, status);
        QFETCH(QString, reason);
        DevSim sim;
        QVERIFY(sim.start());
        useTool(QStringLiteral("stays"), tool);
        Timings::set(Timings::FlashedDeviceGrace, 1500);
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        QSignalSpy finished(&manager, &DevicesManager::firmwareUpgradeFinished);
        QCOMPARE(manager.upgradeFirmware(firmwareFile(QStringLiteral("1.6.4")), {QStringLiteral("TAMOSIM0001")}),
                 QStringList{QStringLiteral("TAMOSIM0001")});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        QCOMPARE(finished.at(0).at(1).toBool(), reason.isEmpty());
        QVERIFY(DevSim::portOf().isEmpty()); // still in its boot loader
        QCOMPARE(model(manager)->rowCount(), 1);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::Status).toInt(), status);
        QCOMPARE(field(manager, QStringLiteral("TAMOSIM0001"), DeviceInfo::LastError).toString(), reason);
        QCOMPARE(log.count(QStringLiteral("Disonnected")), 0);
        QVERIFY(manager.upgradeFirmware(QStringLiteral("fw.dfu")).isEmpty());
        manager.pollBattery();
        QVERIFY(manager.isIdle());
        QVERIFY(waitForRows(manager, 0, 10000));
        QCOMPARE(log.count(QStringLiteral("info: Disonnected 1 device(s)")), 1);
    }

    // Two devices flash side by side, each with its own tool; one is pulled out
    // in its boot loader and stays away. It fails with the tool's reason on its
    // row and in the activity log, the other is upgraded, and the run's
    // progress counts both.
    void twoDevicesFlashAtOnceOneFails()
    {
        DevSim sim;
        QVERIFY(sim.start({}, 2));
        const QString firmware = firmwareFile(QStringLiteral("1.6.6"));
        QVERIFY(!firmware.isEmpty());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        qputenv("TAMO_DFUSIM_CHUNK_DELAY_MS", "40");
        Timings::set(Timings::DfuAfterAttempt, 300);
        Timings::set(Timings::DfuToolRun, 60000);
        LogRecorder log("DeviceManager");
        DevicesManager manager;
        QVERIFY(startWith(manager, 2));
        const QString good = QStringLiteral("TAMOSIM0001");
        const QString lost = QStringLiteral("TAMOSIM0002");
        QSignalSpy finished(&manager, &DevicesManager::firmwareUpgradeFinished);
        QSignalSpy overall(&manager, &DevicesManager::firmwareRunProgress);
        QSignalSpy all(&manager, &DevicesManager::allDevicesUpgraded);
        QStringList accepted = manager.upgradeFirmware(firmware);
        accepted.sort();
        QCOMPARE(accepted, (QStringList{good, lost}));
        QCOMPARE(overall.last(), (QVariantList{0, 2, QStringLiteral("0 of 2 upgraded")}));

        // Both flashing, both off the bus in their boot loaders, at once.
        const auto status = [&](const QString &serial) { return field(manager, serial, DeviceInfo::Status).toInt(); };
        QTRY_VERIFY_WITH_TIMEOUT(status(good) == DeviceInfo::UpgradingFirmware
                                     && status(lost) == DeviceInfo::UpgradingFirmware
                                     && DevSim::portOf(good).isEmpty() && DevSim::portOf(lost).isEmpty(),
                                 10000);
        QVERIFY(sim.control(QStringLiteral("unplug ") + lost).startsWith(QLatin1String("ok")));

        QTRY_COMPARE_WITH_TIMEOUT(all.count(), 1, 60000);
        QCOMPARE(finished.count(), 2);
        for (const QVariantList &result : qAsConst(finished))
            QCOMPARE(result.at(1).toBool(), result.at(0).toString() == good);
        QCOMPARE(status(lost), int(DeviceInfo::Error));
        QCOMPARE(field(manager, lost, DeviceInfo::LastError).toString(), QStringLiteral("Cannot find DFU device"));
        QCOMPARE(log.count(QStringLiteral("Failed firmware upgrade on device 'TAMO 2' with an error 'Cannot find DFU device'.")),
                 1);
        QCOMPARE(log.count(QStringLiteral("Firmware upgrade complete on device.")), 1);
        QCOMPARE(overall.last(), (QVariantList{1, 2, QStringLiteral("1 of 2 upgraded")}));
        QTRY_COMPARE_WITH_TIMEOUT(field(manager, good, DeviceInfo::FwVersion).toString(), QStringLiteral("1.6.6"), 15000);
        QCOMPARE(model(manager)->rowCount(), 2); // the failed one waits for its grace period
    }

    // The estimate is the rate of this run so far: the devices not yet ended
    // take as long each as the ended ones did.
    void runProgressEstimatesFromItsOwnRate_data()
    {
        QTest::addColumn<int>("upgraded");
        QTest::addColumn<int>("ended");
        QTest::addColumn<int>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing ended: no rate yet") << 0 << 0 << 20 << qint64(90000) << "0 of 20 upgraded";
        QTest::newRow("8 of 20 in 4 min") << 8 << 8 << 20 << qint64(240000) << "8 of 20 upgraded, about 6 min left";
        QTest::newRow("a failure counts for the rate, not as upgraded")
            << 1 << 2 << 4 << qint64(60000) << "1 of 4 upgraded, about 1 min left";
        QTest::newRow("under a minute left is about 1") << 3 << 3 << 4 << qint64(6000) << "3 of 4 upgraded, about 1 min left";
        QTest::newRow("rounded up") << 1 << 1 << 3 << qint64(70000) << "1 of 3 upgraded, about 3 min left";
        QTest::newRow("all ended") << 3 << 4 << 4 << qint64(600000) << "3 of 4 upgraded";
    }
    void runProgressEstimatesFromItsOwnRate()
    {
        QFETCH(int, upgraded);
        QFETCH(int, ended);
        QFETCH(int, total);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, text);
        QCOMPARE(FirmwareRunProgress::summary(upgraded, ended, total, elapsedMs), text);
    }

    void firmwareQueuedBehindAnotherDeviceWaits()
    {
        Limits::set(Limits::MaxParallelUpgrades, 1);
        DevSim sim;
        QVERIFY(sim.start({}, 2));
        const QString firmware = firmwareFile(QStringLiteral("1.6.5"));
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        qputenv("TAMO_DFUSIM_CHUNK_DELAY_MS", "40");
        Timings::set(Timings::DfuAfterAttempt, 300);
        Timings::set(Timings::DfuToolRun, 60000);
        DevicesManager manager;
        QVERIFY(startWith(manager, 2));
        const QString first = QStringLiteral("TAMOSIM0001");
        const QString second = QStringLiteral("TAMOSIM0002");
        model(manager)->setValue(DeviceInfo::SerialNumber, second, DeviceInfo::Status, int(DeviceInfo::Error));
        QSignalSpy all(&manager, &DevicesManager::allDevicesUpgraded);
        manager.upgradeFirmware(firmware, {first, second});
        QTRY_COMPARE_WITH_TIMEOUT(field(manager, first, DeviceInfo::Status).toInt(), int(DeviceInfo::UpgradingFirmware), 5000);
        QCOMPARE(field(manager, second, DeviceInfo::Status).toInt(), int(DeviceInfo::WaitingForFirmware));
        QVERIFY(manager.isUpgrading(second));

        // Dropped from the line: back to what it was.
        manager.stopUpgradingDevices();
        QCOMPARE(field(manager, second, DeviceInfo::Status).toInt(), int(DeviceInfo::Error));
        QTRY_COMPARE_WITH_TIMEOUT(all.count(), 1, 60000);
        QVERIFY(!manager.isUpgrading(second));
    }

    void destroyingTheManagerDoesNotWaitForTheTool()
    {
        DevSim sim;
        QVERIFY(sim.start());
        const QString pidFile = m_dir.filePath(QStringLiteral("tool.pid"));
        QFile::remove(pidFile);
        useTool(QStringLiteral("hangs"), "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600");
        Timings::set(Timings::DfuToolRun, 600000);
        Timings::set(Timings::DfuShutdownWait, 10000); // a bound, not a measure: the thread ends far sooner
        auto *manager = new DevicesManager;
        QVERIFY(startWith(*manager, 1));
        manager->upgradeFirmware(firmwareFile(QStringLiteral("1.6.4")), {QStringLiteral("TAMOSIM0001")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pidFile).size() > 0, 10000);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t tool = pid_t(file.readAll().trimmed().toLongLong());
        QVERIFY(tool > 0);
        delete manager;
        // Ended by the manager, not waited for.
        QTRY_VERIFY_WITH_TIMEOUT(::kill(tool, 0) != 0, 2000);
    }

    void destroyedWhileRunnersAreBusy()
    {
        // Busy forever: the reading runner polls until it is stopped.
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--stay-busy"), QStringLiteral("1"), QStringLiteral("--no-console")}));
        auto *manager = new DevicesManager;
        manager->startTracking();
        QTRY_VERIFY_WITH_TIMEOUT(sim.requestCount() > 3, 5000);
        QVERIFY(!manager->isIdle());
        manager->reset();
        QVERIFY(!manager->isIdle()); // stopped, not yet gone
        delete manager;
        // The runner ends on the pool thread after the manager is gone.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    }

    void stopAllAndReset()
    {
        DevSim sim;
        QVERIFY(sim.start({QStringLiteral("--latency-ms"), QStringLiteral("20")}));
        DevicesManager manager;
        QVERIFY(startWith(manager, 1));
        QSignalSpy uploaded(&manager, &DevicesManager::filesUploaded);
        manager.uploadFiles(QStringLiteral("c4:4f:33:0a:0b:01"), {UploadItem{QStringLiteral("5"), {{pattern(30000, 1), 0}}}},
                            {}, QString(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!manager.isIdle(), 2000);
        QTest::qWait(200);
        manager.stopAll();
        QTRY_COMPARE_WITH_TIMEOUT(uploaded.count(), 1, 5000);
        QVERIFY(!uploaded.at(0).at(1).toBool());
        QTRY_VERIFY_WITH_TIMEOUT(manager.isIdle(), 5000);

        manager.reset();
        QCOMPARE(model(manager)->rowCount(), 0);
        QTest::qWait(200); // tracking is off: the device is not announced again
        QCOMPARE(model(manager)->rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestManager)
#include "tst_device_manager.moc"
