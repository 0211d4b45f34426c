// Discovery against a real folder of simulated port descriptions: appearances,
// disappearances, their order, the ports that must never be announced, and the
// changes that only the safety listing sees.
#include "DevicesModel.h"
#include "DevicesTracker.h"
#include "SimPortFile.h"
#include "Timings.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList serialsOf(const QVector<DeviceInfo> &infos)
{
    QStringList serials;
    for (const DeviceInfo &info : infos)
        serials << info.value(DeviceInfo::SerialNumber).toString();
    return serials;
}

} // namespace

class TestTracker : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    DevicesModel *m_model = nullptr;
    DevicesTracker *m_tracker = nullptr;
    QStringList m_events; // "+SN" and "-SN" in the order the signals came

    int pollMs() const { return Timings::ms(Timings::DiscoveryPollInterval); }

    void plug(const QString &name, const QString &serial, int vendor = 0x0483, int product = 0x5740)
    {
        QVERIFY(writeSimPortFile(m_dir.path(), name,
                                 simPort(QStringLiteral("/dev/pts/") + name, serial, vendor, product)));
    }

    void unplug(const QString &name)
    {
        QVERIFY(QFile::remove(m_dir.filePath(name + QStringLiteral(".port"))));
    }

    // Does what the devices manager does with the announcements.
    void followAnnouncements()
    {
        connect(m_tracker, &DevicesTracker::devicesReady, m_model, &DevicesModel::addDevices);
        connect(m_tracker, &DevicesTracker::devicesRemoved, m_model, &DevicesModel::removeDevices);
        connect(m_tracker, &DevicesTracker::devicesMoved, m_model, [this](const QVector<DeviceInfo> &infos) {
            for (const DeviceInfo &info : infos)
                m_model->setValue(DeviceInfo::SerialNumber, info.value(DeviceInfo::SerialNumber),
                                  DeviceInfo::PortName, info.value(DeviceInfo::PortName));
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("TAMO_SIM_DIR", QFile::encodeName(m_dir.path()));
        DeviceInfo::registerMetaTypes();
    }

    void init()
    {
        Timings::set(Timings::DiscoveryPollInterval, 20);
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files))
            dir.remove(name);
        m_model = new DevicesModel(this);
        m_tracker = new DevicesTracker(m_model, this);
        m_events.clear();
        connect(m_tracker, &DevicesTracker::devicesReady, this, [this](const QVector<DeviceInfo> &infos) {
            for (const QString &serial : serialsOf(infos))
                m_events << QLatin1Char('+') + serial;
        });
        connect(m_tracker, &DevicesTracker::devicesRemoved, this, [this](const QVector<QString> &serials) {
            for (const QString &serial : serials)
                m_events << QLatin1Char('-') + serial;
        });
        connect(m_tracker, &DevicesTracker::devicesMoved, this, [this](const QVector<DeviceInfo> &infos) {
            for (const DeviceInfo &info : infos)
                m_events << QLatin1Char('~') + info.value(DeviceInfo::SerialNumber).toString() + QLatin1Char(' ')
                        + info.value(DeviceInfo::PortName).toString();
        });
    }

    void cleanup()
    {
        delete m_tracker;
        delete m_model;
        Timings::restoreDefaults();
    }

    void startAnnouncesEvenWhenNothingIsThere()
    {
        QSignalSpy ready(m_tracker, &DevicesTracker::devicesReady);
        QSignalSpy removed(m_tracker, &DevicesTracker::devicesRemoved);
        m_tracker->start();
        QCOMPARE(ready.count(), 1);
        QVERIFY(ready.at(0).at(0).value<QVector<DeviceInfo>>().isEmpty());
        QVERIFY(m_tracker->isRunning());
        QTest::qWait(pollMs() * 6);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(removed.count(), 0);
    }

    void appearingPortIsAnnouncedWithSerialAndPort()
    {
        followAnnouncements();
        QSignalSpy ready(m_tracker, &DevicesTracker::devicesReady);
        m_tracker->start();
        plug(QStringLiteral("7"), QStringLiteral("SN-7"));
        QTRY_COMPARE(ready.count(), 2);
        const QVector<DeviceInfo> infos = ready.at(1).at(0).value<QVector<DeviceInfo>>();
        QCOMPARE(infos.size(), 1);
        QCOMPARE(infos.at(0).value(DeviceInfo::SerialNumber).toString(), QStringLiteral("SN-7"));
        QCOMPARE(infos.at(0).value(DeviceInfo::PortName).toString(), QStringLiteral("/dev/pts/7"));
        // Once the model shows it, it is not announced again.
        QTest::qWait(pollMs() * 6);
        QCOMPARE(ready.count(), 2);
        QCOMPARE(m_model->rowCount(), 1);
    }

    void otherPortsAreNeverAnnounced()
    {
        m_tracker->start();
        plug(QStringLiteral("1"), QStringLiteral("WRONG-PRODUCT"), 0x0483, 0x5741);
        plug(QStringLiteral("2"), QStringLiteral("WRONG-VENDOR"), 0x0484, 0x5740);
        QJsonObject noVendor = simPort(QStringLiteral("/dev/pts/3"), QStringLiteral("NO-VENDOR"));
        noVendor.remove(QStringLiteral("vendorId"));
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("3"), noVendor));
        QJsonObject noProduct = simPort(QStringLiteral("/dev/pts/4"), QStringLiteral("NO-PRODUCT"));
        noProduct.remove(QStringLiteral("productId"));
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("4"), noProduct));
        plug(QStringLiteral("5"), QStringLiteral("GOOD"));
        QElapsedTimer timer;
        timer.start();
        QTRY_VERIFY(!m_events.isEmpty());
        QTest::qWait(pollMs() * 10);
        const qint64 elapsed = timer.elapsed();
        // Not in the model, so announced again on each tick; but only that one.
        QVERIFY(m_events.size() > 1);
        QVERIFY2(m_events.size() <= elapsed / pollMs() + 2, qPrintable(QString::number(m_events.size())));
        QCOMPARE(QSet<QString>(m_events.begin(), m_events.end()), QSet<QString>{QStringLiteral("+GOOD")});
    }

    void sharedSerialNumberGivesOneRecord()
    {
        QSignalSpy ready(m_tracker, &DevicesTracker::devicesReady);
        plug(QStringLiteral("1"), QStringLiteral("TWIN"));
        plug(QStringLiteral("2"), QStringLiteral("TWIN"));
        m_tracker->start();
        QTRY_VERIFY(ready.count() >= 2);
        const QVector<DeviceInfo> infos = ready.at(1).at(0).value<QVector<DeviceInfo>>();
        QCOMPARE(serialsOf(infos), QStringList{QStringLiteral("TWIN")});
        QCOMPARE(infos.at(0).value(DeviceInfo::PortName).toString(), QStringLiteral("/dev/pts/1"));
    }

    void appearanceIsReportedBeforeDisappearance()
    {
        followAnnouncements();
        plug(QStringLiteral("1"), QStringLiteral("OLD"));
        m_tracker->start();
        QTRY_COMPARE(m_model->rowCount(), 1);
        // Both changes inside one poll period, seen by the same tick.
        m_tracker->stop();
        m_events.clear();
        unplug(QStringLiteral("1"));
        plug(QStringLiteral("2"), QStringLiteral("NEW"));
        m_tracker->start();
        QTRY_COMPARE(m_events.size(), 2);
        QCOMPARE(m_events, (QStringList{QStringLiteral("+NEW"), QStringLiteral("-OLD")}));
    }

    void listedDeviceOnAnotherPortIsReported()
    {
        // Back between two ticks on another port, its old one still held open.
        followAnnouncements();
        plug(QStringLiteral("1"), QStringLiteral("MOVER"));
        m_tracker->start();
        QTRY_COMPARE(m_model->rowCount(), 1);
        m_events.clear();
        QVERIFY(writeSimPortFile(m_dir.path(), QStringLiteral("1"),
                                 simPort(QStringLiteral("/dev/pts/9"), QStringLiteral("MOVER"))));
        QTRY_COMPARE(m_events, QStringList{QStringLiteral("~MOVER /dev/pts/9")});
        QTest::qWait(pollMs() * 4); // once the row shows the new port, that is no news
        QCOMPARE(m_events.size(), 1);
    }

    void startReannouncesKnownDevicesAndKeepsOneTimer()
    {
        followAnnouncements();
        plug(QStringLiteral("1"), QStringLiteral("KNOWN"));
        plug(QStringLiteral("2"), QStringLiteral("UNKNOWN-YET"));
        DeviceInfo known;
        known.setValue(DeviceInfo::SerialNumber, QStringLiteral("KNOWN"));
        known.setValue(DeviceInfo::Name, QStringLiteral("Desk"));
        m_model->addDevices({known});

        QSignalSpy ready(m_tracker, &DevicesTracker::devicesReady);
        m_tracker->start();
        QCOMPARE(ready.count(), 1);
        QCOMPARE(serialsOf(ready.at(0).at(0).value<QVector<DeviceInfo>>()), QStringList{QStringLiteral("KNOWN")});
        m_tracker->start();
        QCOMPARE(ready.count(), 2);
        QCOMPARE(serialsOf(ready.at(1).at(0).value<QVector<DeviceInfo>>()), QStringList{QStringLiteral("KNOWN")});

        // One stop ends all polling: a second timer would keep announcing.
        QTRY_COMPARE(m_model->rowCount(), 2);
        m_tracker->stop();
        QVERIFY(!m_tracker->isRunning());
        const int events = m_events.size();
        unplug(QStringLiteral("1"));
        plug(QStringLiteral("3"), QStringLiteral("LATE"));
        QTest::qWait(pollMs() * 6);
        QCOMPARE(m_events.size(), events);
    }

    void deviceFlashedOffTheBusIsAnnouncedWhenItReturns()
    {
        followAnnouncements();
        plug(QStringLiteral("1"), QStringLiteral("FLASHED"));
        m_tracker->start();
        QTRY_COMPARE(m_model->rowCount(), 1);
        m_model->setValue(DeviceInfo::SerialNumber, QStringLiteral("FLASHED"), DeviceInfo::Status,
                          int(DeviceInfo::UpgradingFirmware));
        m_events.clear();

        unplug(QStringLiteral("1"));
        QTRY_COMPARE(m_events, QStringList{QStringLiteral("-FLASHED")});
        QCOMPARE(m_model->rowCount(), 1); // kept while it is flashed
        // Its absence is reported once, not on every tick.
        QTest::qWait(pollMs() * 6);
        QCOMPARE(m_events, QStringList{QStringLiteral("-FLASHED")});

        plug(QStringLiteral("1"), QStringLiteral("FLASHED"));
        QTRY_COMPARE(m_events.size(), 2);
        QCOMPARE(m_events.last(), QStringLiteral("+FLASHED"));
        QCOMPARE(m_model->rowCount(), 1);
        QVERIFY(m_model->keptSerialNumbers().isEmpty());
        QVERIFY(!m_model->device(0).value(DeviceInfo::Status).isValid()); // the fresh record
    }

    void emptySerialNumberIsAnnouncedOnEveryTick()
    {
        followAnnouncements();
        QSignalSpy ready(m_tracker, &DevicesTracker::devicesReady);
        plug(QStringLiteral("1"), QString());
        m_tracker->start();
        QTRY_VERIFY(ready.count() >= 4);
        // The model takes it once; the empty serial number never counts as known.
        QCOMPARE(m_model->rowCount(), 1);
    }

    void missedChangeIsCaughtByTheSafetyListing()
    {
        Timings::set(Timings::DiscoverySafetyScan, 3600000);
        followAnnouncements();
        plug(QStringLiteral("1"), QStringLiteral("FIRST"));
        m_tracker->start();
        QTRY_COMPARE(m_model->rowCount(), 1);
        m_events.clear();
        // Rewritten in place, the file changes no entry of the folder: its watch
        // sees nothing, and a tick lists nothing again.
        QFile file(m_dir.filePath(QStringLiteral("1.port")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(simPort(QStringLiteral("/dev/pts/1"), QStringLiteral("SECOND"))).toJson());
        file.close();
        QTest::qWait(pollMs() * 10);
        QVERIFY(m_events.isEmpty());
        // The safety listing does.
        Timings::set(Timings::DiscoverySafetyScan, pollMs());
        QTRY_COMPARE(m_events, (QStringList{QStringLiteral("+SECOND"), QStringLiteral("-FIRST")}));
    }
};

QTEST_GUILESS_MAIN(TestTracker)
#include "tst_device_tracker.moc"
