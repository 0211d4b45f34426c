// Reading a device's identity through its text console: the scraping rules, the
// dialogue against scripted consoles, and the console that never answers.
#include "DeviceInitializer.h"
#include "LogRecorder.h"
#include "PtyPeer.h"
#include "Timings.h"

#include <QDeadlineTimer>
#include <QThreadPool>
#include <QtTest>

namespace {

DeviceInfo recordFor(const QString &port, const QString &serial = QStringLiteral("SN"))
{
    DeviceInfo info;
    info.setValue(DeviceInfo::SerialNumber, serial);
    info.setValue(DeviceInfo::PortName, port);
    return info;
}

// Runs an initialiser on the pool and waits for its one deviceReady.
DeviceInfo initialise(const DeviceInfo &record, int *readyCount = nullptr)
{
    auto *initializer = new DeviceInitializer(record);
    QList<DeviceInfo> received;
    QObject receiver;
    QObject::connect(initializer, &DeviceInitializer::deviceReady, &receiver,
                     [&received](const DeviceInfo &info) { received << info; });
    QThreadPool::globalInstance()->start(initializer);
    QDeadlineTimer deadline(20000);
    while (received.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    QTest::qWait(50); // nothing else follows
    if (readyCount)
        *readyCount = received.size();
    return received.value(0);
}

} // namespace

class TestInitializer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        DeviceInfo::registerMetaTypes();
        Timings::setScale(0.02); // console silence 80 ms, port reset 60 ms
    }

    void cleanup()
    {
        Timings::setScale(0.02);
    }

    void macFormatting_data()
    {
        QTest::addColumn<QString>("console");
        QTest::addColumn<QString>("mac");
        QTest::newRow("one-digit groups") << QStringLiteral("0x1 0xA2 0x3B 0xC 0x55 0x6") << QStringLiteral("01:A2:3B:0C:55:06");
        QTest::newRow("device case kept") << QStringLiteral("0xc4 0x4f 0x33 0x1 0x2 0x3") << QStringLiteral("c4:4f:33:01:02:03");
        QTest::newRow("extra blanks") << QStringLiteral("  0xC4   0x4F\t0x33 0x1 0x2 0x3 \r\n") << QStringLiteral("C4:4F:33:01:02:03");
    }

    void macFormatting()
    {
        QFETCH(QString, console);
        QFETCH(QString, mac);
        QCOMPARE(DeviceInitializer::formatMac(console), mac);
    }

    void dumpScraping()
    {
        DeviceInfo info;
        info.setValue(DeviceInfo::Name, QStringLiteral("kept when the dump has none"));
        DeviceInitializer::applyDump("Config:\r\n\tMAC address: 0xC4 0x4F 0x33 0x1 0x2 0x3\r\n\tother: 7", info);
        QCOMPARE(info.value(DeviceInfo::MacAddress).toString(), QStringLiteral("C4:4F:33:01:02:03"));
        QCOMPARE(info.value(DeviceInfo::Name).toString(), QStringLiteral("kept when the dump has none"));

        DeviceInitializer::applyDump("\r\n\tble advertisment name: Lobby  12\r\n\tble advertisment name: Hall 3\r\n\t", info);
        QCOMPARE(info.value(DeviceInfo::Name).toString(), QStringLiteral("Hall 3")); // a later piece wins

        DeviceInfo fresh;
        DeviceInitializer::applyDump("ble advertisment name: Lobby  12", fresh);
        QCOMPARE(fresh.value(DeviceInfo::Name).toString(), QStringLiteral("Lobby 12"));
        DeviceInitializer::applyDump("nothing to see\r\n\there", fresh);
        QVERIFY(!fresh.value(DeviceInfo::MacAddress).isValid());
    }

    void versionScraping_data()
    {
        QTest::addColumn<QByteArray>("screen");
        QTest::addColumn<QString>("version");
        QTest::newRow("release candidate") << QByteArray("Firmware version 1.5.90-rc1\r\n") << QStringLiteral("1.5.90-rc1");
        QTest::newRow("one number is no version") << QByteArray("Firmware version 1\r\n") << QString();
        QTest::newRow("last match wins") << QByteArray("Firmware version 1.5.27\r\nBoot\r\nFirmware version 1.5.88\r\n") << QStringLiteral("1.5.88");
        QTest::newRow("no line") << QByteArray("Hello\r\n") << QString();
    }

    void versionScraping()
    {
        QFETCH(QByteArray, screen);
        QFETCH(QString, version);
        QCOMPARE(DeviceInitializer::versionFrom(screen), version);
    }

    void menuNumbersDecideTheCommands()
    {
        PtyPeer peer;
        QVERIFY(peer.isValid());
        peer.answer("0", "Main menu\r\n 3. Dump Config\r\n 5. Show Software Version\r\n");
        peer.answer("3", "Config\r\n\tMAC address: 0x11 0x22 0x33 0x44 0x55 0x6\r\n\tble advertisment name: Peer\r\n");
        peer.answer("5", "Firmware version 1.5.100\r\n");
        const DeviceInfo result = initialise(recordFor(peer.portName()));
        QCOMPARE(peer.lines(), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("5")}));
        QCOMPARE(result.value(DeviceInfo::MacAddress).toString(), QStringLiteral("11:22:33:44:55:06"));
        QCOMPARE(result.value(DeviceInfo::Name).toString(), QStringLiteral("Peer"));
        QCOMPARE(result.value(DeviceInfo::FwVersion).toString(), QStringLiteral("1.5.100"));
    }

    void silentConsoleGetsExactlyFourAttempts()
    {
        PtyPeer peer;
        QVERIFY(peer.isValid());
        LogRecorder log("DeviceManager");
        const DeviceInfo record = recordFor(peer.portName(), QStringLiteral("QUIET"));
        const DeviceInfo result = initialise(record);
        QCOMPARE(peer.count("0"), 8);
        QCOMPARE(peer.lines().size(), 8);
        QCOMPARE(log.count(QStringLiteral("Failed to read MAC and Name for device '%1' with serial number 'QUIET'")
                               .arg(peer.portName())), 1);
        // The record comes back as it went.
        QVERIFY(!result.value(DeviceInfo::MacAddress).isValid());
        QCOMPARE(result.value(DeviceInfo::PortName).toString(), peer.portName());
    }

    void endlessConsoleEndsTheDialogue()
    {
        Timings::set(Timings::ConsoleSilence, 2000); // no pause of the test's own ends the stream
        PtyPeer peer;
        peer.flood("Main menu\r\n 1. Dump Config\r\n 2. Show Software Version\r\n");
        LogRecorder log("DeviceManager");
        int readyCount = 0;
        const DeviceInfo result = initialise(recordFor(peer.portName(), QStringLiteral("CHATTY")), &readyCount);
        QCOMPARE(readyCount, 1);
        QVERIFY(!result.value(DeviceInfo::MacAddress).isValid());
        QCOMPARE(log.count(QStringLiteral("Device console output is longer than")), 1);
        // Neither a dump nor a version screen was asked for.
        const QStringList sent = peer.lines();
        QCOMPARE(QSet<QString>(sent.begin(), sent.end()), QSet<QString>{QStringLiteral("0")});
    }

    void menuWithoutVersionItemEndsEarly()
    {
        PtyPeer peer;
        peer.answer("0", " 3. Dump Config\r\n");
        const DeviceInfo result = initialise(recordFor(peer.portName()));
        // The dump number was found at once: no further menu attempts, no dump.
        QCOMPARE(peer.lines(), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(!result.value(DeviceInfo::FwVersion).isValid());
    }

    void emptyVersionScreenClearsTheVersion()
    {
        PtyPeer peer;
        peer.answer("0", "1. Dump Config 2. Show Software Version");
        peer.answer("1", "MAC address: 0x1 0x2 0x3 0x4 0x5 0x6");
        DeviceInfo record = recordFor(peer.portName());
        record.setValue(DeviceInfo::FwVersion, QStringLiteral("1.5.90"));
        const DeviceInfo result = initialise(record);
        QCOMPARE(result.value(DeviceInfo::MacAddress).toString(), QStringLiteral("01:02:03:04:05:06"));
        QCOMPARE(result.value(DeviceInfo::FwVersion).toString(), QString());
    }

    void unopenablePortStillReportsTheRecord()
    {
        LogRecorder log("DeviceManager");
        DeviceInfo record = recordFor(QStringLiteral("/dev/does-not-exist-tamo"), QStringLiteral("GONE"));
        record.setValue(DeviceInfo::Name, QStringLiteral("as before"));
        int readyCount = 0;
        const DeviceInfo result = initialise(record, &readyCount);
        QCOMPARE(readyCount, 1);
        QCOMPARE(result.value(DeviceInfo::Name).toString(), QStringLiteral("as before"));
        QCOMPARE(log.count(QStringLiteral("During connecting to device 'GONE' occured system error: ")), 1);
    }
};

QTEST_GUILESS_MAIN(TestInitializer)
#include "tst_device_initializer.moc"
