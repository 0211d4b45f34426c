// The text console: menu, configuration dump, version screen, restart and the
// switch into the DFU boot loader, read with the patterns the application uses.
#include "DevsimFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using F = DevsimFixture;

namespace {

// The application's console patterns.
const char *const kDumpItem = "(\\d+). Dump Config";
const char *const kVersionItem = "(\\d+). Show Software Version";
const char *const kDfuItem = "(\\d+). Transition to DFU Mode";
const char *const kMacLine = "MAC address: \\s*(0x[\\d\\w\\s]{1,}\\b)";
const char *const kNameLine = "s*ble advertisment name:s*([\\d\\w\\s]*)";
const char *const kVersionLine = "Firmware version (\\d+(\\.\\d+\\S+)+)";

// The first capture of the pattern in any of the pieces.
QString capture(const char *pattern, const QStringList &pieces)
{
    for (const QString &piece : pieces) {
        const QString found = QRegularExpression(QString::fromLatin1(pattern)).match(piece).captured(1);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

// Asks for the menu, picks the item by the pattern and returns what it printed.
QString choose(RawLink &link, const char *item)
{
    link.send("0\r\n");
    const QString number = capture(item, {QString::fromUtf8(link.readUntilSilence(200)).simplified()});
    if (number.isEmpty() || !link.send(number.toLatin1() + "\r\n"))
        return QString();
    return QString::fromUtf8(link.readUntilSilence(200));
}

} // namespace

class TestDevsimConsole : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;

private slots:
    void cleanup()
    {
        const QString problem = f.cleanup();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void menu()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QVERIFY(link->send("0\r\n0\r\n"));
        const QByteArray raw = link->readUntilSilence(200);
        // No echo of what was typed; the menu comes twice.
        QVERIFY(!raw.startsWith('0'));
        QCOMPARE(raw.count("Dump Config"), 2);
        QVERIFY(raw.contains("\r\n3. Dump Config\r\n"));
        const QStringList text{QString::fromUtf8(raw).simplified()};
        QCOMPARE(capture(kDumpItem, text), QStringLiteral("3"));
        QCOMPARE(capture(kVersionItem, text), QStringLiteral("5"));
        QCOMPARE(capture(kDfuItem, text), QStringLiteral("7"));
        QVERIFY(link->send("42\r\n"));
        QVERIFY(link->readUntilSilence(200).contains("Unknown command '42'"));
        // Typing corrections are honoured; stray control bytes are ignored.
        QVERIFY(link->send("9\b5\x01\r\n"));
        QVERIFY(link->readUntilSilence(200).contains("Firmware version 1.5.90\r\n"));
    }

    void configDump()
    {
        QVERIFY(f.start({"--mac", "C4:4F:33:01:02:0F"}));
        QVERIFY(f.sim->ok("set TAMOSIM0001 name Lobby  12"));
        auto link = f.link();
        const QStringList pieces = choose(*link, kDumpItem).split(QStringLiteral("\r\n\t"));
        QVERIFY(pieces.size() >= 3);
        QCOMPARE(capture(kMacLine, pieces), QStringLiteral("0xC4 0x4F 0x33 0x1 0x2 0xF"));
        QCOMPARE(capture(kNameLine, pieces).simplified(), QStringLiteral("Lobby 12"));
        QCOMPARE(f.sim->identity(F::kSerial).value("mac").toString(), QStringLiteral("C4:4F:33:01:02:0F"));
    }

    void versionScreen_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("release") << QStringLiteral("1.5.90");
        QTest::newRow("candidate") << QStringLiteral("1.5.100-rc1");
    }
    void versionScreen()
    {
        QFETCH(QString, version);
        QVERIFY(f.start({"--fw", version}));
        auto link = f.link();
        QCOMPARE(capture(kVersionLine, choose(*link, kVersionItem).split(QStringLiteral("\r\n"))), version);
    }

    void reboot()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QVERIFY(link->send("4\r\n"));
        QVERIFY(link->readUntilSilence(100).contains("Rebooting"));
        QVERIFY(f.sim->waitForLine("unplugged TAMOSIM0001"));
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0001"));
        QCOMPARE(f.link()->exchange(F::kPing).status, quint8(0));
    }

    void transitionToDfuMode()
    {
        QVERIFY(f.start({"--dfu-delay-ms", "150"}));
        auto link = f.link();
        QVERIFY(choose(*link, kDfuItem).contains("DFU"));
        QVERIFY(f.sim->waitForLine("dfu TAMOSIM0001"));
        QVERIFY(!QFile::exists(f.dir->filePath("TAMOSIM0001.port")));
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());

        const QJsonObject dfu = f.sim->json("TAMOSIM0001.dfu");
        QCOMPARE(dfu.value("serialNumber").toString(), QStringLiteral("TAMOSIM0001"));
        QCOMPARE(dfu.value("firmwareVersion").toString(), QStringLiteral("1.5.90"));
        QCOMPARE(dfu.value("firmwareValid").toBool(), true);
        QCOMPARE(dfu.value("state").toString(), QStringLiteral("dfuIDLE"));
        QCOMPARE(dfu.value("vendorId").toInt(), 0x0483);
        QCOMPARE(dfu.value("productId").toInt(), 0xDF11);
        QCOMPARE(f.snapshot().value("state").toString(), QStringLiteral("dfu"));

        // A power cycle starts the firmware again.
        QVERIFY(f.sim->ok("unplug TAMOSIM0001"));
        QVERIFY(!QFile::exists(f.dir->filePath("TAMOSIM0001.dfu")));
        QVERIFY(f.sim->ok("plug TAMOSIM0001"));
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0001"));
        QCOMPARE(f.link()->exchange(F::kReadFw).payload, QByteArray("1.5.90\0", 7));
    }

    void rpcSwitchToBootloaderIsSilent()
    {
        QVERIFY(f.start({"--dfu-delay-ms", "50"}));
        auto link = f.link();
        QVERIFY(link->send(TestFrames::request(F::kOpenDfu)));
        QVERIFY(link->readFrame(300).isEmpty());
        QVERIFY(f.sim->waitForLine("dfu TAMOSIM0001"));
        QVERIFY(QFile::exists(f.dir->filePath("TAMOSIM0001.dfu")));
    }
};

QTEST_GUILESS_MAIN(TestDevsimConsole)
#include "tst_devsim_console.moc"
