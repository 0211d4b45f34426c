// The text console: menu, configuration dump, version screen, restart and the
// switch into the DFU boot loader, read with the patterns the application uses.
#include "DevsimFixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

namespace {

// The application's console patterns.
const QString kDumpItem = QStringLiteral("(\\d+). Dump Config");
const QString kVersionItem = QStringLiteral("(\\d+). Show Software Version");
const QString kDfuItem = QStringLiteral("(\\d+). Transition to DFU Mode");
const QString kMacLine = QStringLiteral("MAC address: \\s*(0x[\\d\\w\\s]{1,}\\b)");
const QString kNameLine = QStringLiteral("s*ble advertisment name:s*([\\d\\w\\s]*)");
const QString kVersionLine = QStringLiteral("Firmware version (\\d+(\\.\\d+\\S+)+)");

QString capture(const QString &pattern, const QString &text)
{
    return QRegularExpression(pattern).match(text).captured(1);
}

// The MAC text as the application turns it into its written form.
QString macFromConsole(const QString &captured)
{
    QStringList parts = captured.simplified().remove(QStringLiteral("0x")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &part : parts)
        if (part.size() == 1)
            part.prepend(QLatin1Char('0'));
    return parts.join(QLatin1Char(':'));
}

} // namespace

class TestDevsimConsole : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;
    using F = DevsimFixture;

    QString menuNumber(RawLink &link, const QString &pattern)
    {
        link.send("0\r\n");
        return capture(pattern, QString::fromUtf8(link.readUntilSilence(200)).simplified());
    }

private slots:
    void cleanup()
    {
        QString why;
        QVERIFY2(f.finish(&why), qPrintable(why));
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
        const QString text = QString::fromUtf8(raw).simplified();
        QCOMPARE(capture(kDumpItem, text), QStringLiteral("3"));
        QCOMPARE(capture(kVersionItem, text), QStringLiteral("5"));
        QCOMPARE(capture(kDfuItem, text), QStringLiteral("7"));
        QVERIFY(raw.contains("\r\n3. Dump Config\r\n"));

        QVERIFY(link->send("42\r\n"));
        QVERIFY(link->readUntilSilence(200).contains("Unknown command '42'"));
        // Typing corrections are honoured; stray control bytes are ignored.
        QVERIFY(link->send("9\b5\x01\r\n"));
        QVERIFY(link->readUntilSilence(200).contains("Firmware version 1.5.90"));
    }

    void configDump()
    {
        QVERIFY(f.start({QStringLiteral("--mac"), QStringLiteral("C4:4F:33:01:02:0F")}));
        QCOMPARE(f.sim->command(QStringLiteral("set TAMOSIM0001 name Lobby  12")).left(3), QStringLiteral("ok "));
        auto link = f.link();
        const QString number = menuNumber(*link, kDumpItem);
        QVERIFY(!number.isEmpty());
        QVERIFY(link->send(number.toLatin1() + "\r\n"));
        const QString dump = QString::fromUtf8(link->readUntilSilence(200));
        const QStringList pieces = dump.split(QStringLiteral("\r\n\t"));
        QVERIFY(pieces.size() >= 3);
        QString mac, name;
        for (const QString &piece : pieces) {
            const QString m = capture(kMacLine, piece);
            if (!m.isEmpty())
                mac = macFromConsole(m);
            const QString n = capture(kNameLine, piece).simplified();
            if (!n.isEmpty())
                name = n;
        }
        QCOMPARE(mac, QStringLiteral("C4:4F:33:01:02:0F"));
        QVERIFY(dump.contains(QStringLiteral("MAC address: 0xC4 0x4F 0x33 0x1 0x2 0xF")));
        QCOMPARE(name, QStringLiteral("Lobby 12"));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("identity")).toObject()
                     .value(QStringLiteral("mac")).toString(), mac);
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
        QVERIFY(f.start({QStringLiteral("--fw"), version}));
        auto link = f.link();
        const QString number = menuNumber(*link, kVersionItem);
        QVERIFY(link->send(number.toLatin1() + "\r\n"));
        QString found;
        for (const QString &line : QString::fromUtf8(link->readUntilSilence(200)).split(QStringLiteral("\r\n"))) {
            const QString v = capture(kVersionLine, line);
            if (!v.isEmpty())
                found = v;
        }
        QCOMPARE(found, version);
    }

    void reboot()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QVERIFY(link->send("4\r\n"));
        QVERIFY(link->readUntilSilence(100).contains("Rebooting"));
        QVERIFY(f.sim->waitForLine(QStringLiteral("unplugged TAMOSIM0001")));
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001")));
        auto fresh = f.link();
        QCOMPARE(fresh->exchange(F::kPing).status, quint8(0));
    }

    void transitionToDfuMode()
    {
        QVERIFY(f.start({QStringLiteral("--dfu-delay-ms"), QStringLiteral("150")}));
        auto link = f.link();
        const QString number = menuNumber(*link, kDfuItem);
        QVERIFY(link->send(number.toLatin1() + "\r\n"));
        QVERIFY(link->readUntilSilence(100).contains("DFU"));
        QVERIFY(f.sim->waitForLine(QStringLiteral("dfu TAMOSIM0001")));
        QVERIFY(!QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());
        QVERIFY(!link->send(number.toLatin1() + "\r\n"));

        QFile state(f.dir->filePath(QStringLiteral("TAMOSIM0001.dfu")));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QJsonObject dfu = QJsonDocument::fromJson(state.readAll()).object();
        QCOMPARE(dfu.value(QStringLiteral("serialNumber")).toString(), QStringLiteral("TAMOSIM0001"));
        QCOMPARE(dfu.value(QStringLiteral("firmwareVersion")).toString(), QStringLiteral("1.5.90"));
        QCOMPARE(dfu.value(QStringLiteral("firmwareValid")).toBool(), true);
        QCOMPARE(dfu.value(QStringLiteral("state")).toString(), QStringLiteral("dfuIDLE"));
        QCOMPARE(dfu.value(QStringLiteral("vendorId")).toInt(), 0x0483);
        QCOMPARE(dfu.value(QStringLiteral("productId")).toInt(), 0xDF11);
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("state")).toString(), QStringLiteral("dfu"));

        // A power cycle starts the firmware again.
        QCOMPARE(f.sim->command(QStringLiteral("unplug TAMOSIM0001")).left(3), QStringLiteral("ok "));
        QVERIFY(!QFile::exists(state.fileName()));
        QCOMPARE(f.sim->command(QStringLiteral("plug TAMOSIM0001")).left(3), QStringLiteral("ok "));
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001")));
        QCOMPARE(f.link()->exchange(F::kReadFw).payload, QByteArray("1.5.90\0", 7));
    }

    void rpcSwitchToBootloaderIsSilent()
    {
        QVERIFY(f.start({QStringLiteral("--dfu-delay-ms"), QStringLiteral("50")}));
        auto link = f.link();
        QVERIFY(link->send(TestFrames::request(F::kOpenDfu)));
        QVERIFY(link->readFrame(300).isEmpty());
        QVERIFY(f.sim->waitForLine(QStringLiteral("dfu TAMOSIM0001")));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.dfu"))));
    }
};

QTEST_GUILESS_MAIN(TestDevsimConsole)
#include "tst_devsim_console.moc"
