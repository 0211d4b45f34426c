// Fault injection and the console-only and RPC-only variants.
#include "DevsimFixture.h"

#include <QFile>
#include <QtTest>

using F = DevsimFixture;

namespace {

// What became of one MAC request to the first device (or another).
QString outcome(RawLink &link, const QByteArray &mac = QByteArray::fromHex("010b0a334fc4"))
{
    if (!link.send(TestFrames::request(F::kReadMac)))
        return QStringLiteral("not sent");
    const QByteArray raw = link.readFrame(150);
    const TestFrames::Answer answer = TestFrames::parse(raw);
    if (raw.isEmpty())
        return QStringLiteral("none");
    if (!answer.complete)
        return QStringLiteral("short");
    if (answer.status == 7)
        return answer.crcOk ? QStringLiteral("busy") : QStringLiteral("garbled");
    if (answer.payload != mac)
        return QStringLiteral("garbled");
    if (!answer.crcOk)
        return QStringLiteral("bad CRC");
    return answer.id == F::kReadMac ? QStringLiteral("ok") : QStringLiteral("wrong id");
}

} // namespace

class TestDevsimFaults : public QObject
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

    void faultsCountFromTheFirstRequest_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("outcomes");
        QTest::newRow("drop answers 2 and 4") << QStringList{"--drop-answer", "2,4"}
                                              << QStringList{"ok", "none", "ok", "none", "ok"};
        QTest::newRow("corrupt the second CRC") << QStringList{"--corrupt-crc", "2"}
                                                << QStringList{"ok", "bad CRC", "ok"};
        // The length byte announces one byte more than arrives.
        QTest::newRow("corrupt the first length") << QStringList{"--corrupt-length", "1"} << QStringList{"short", "ok"};
        QTest::newRow("wrong identifier from the first on") << QStringList{"--wrong-id", "1-"}
                                                            << QStringList{"wrong id", "wrong id", "wrong id"};
        QTest::newRow("busy from the third on") << QStringList{"--stay-busy", "3"}
                                                << QStringList{"ok", "ok", "busy", "busy", "busy", "busy"};
        QTest::newRow("faults in a range") << QStringList{"--drop-answer", "2-3"} << QStringList{"ok", "none", "none", "ok"};
    }
    void faultsCountFromTheFirstRequest()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, outcomes);
        QVERIFY(f.start(arguments));
        auto link = f.link();
        QStringList seen;
        for (int i = 0; i < outcomes.size(); ++i)
            seen << outcome(*link);
        QCOMPARE(seen, outcomes);
    }

    void unplugInTheMiddleOfATransfer()
    {
        QVERIFY(f.start({"--unplug-after-parts", "3", "--replug-after-ms", "300"}));
        auto link = f.link();
        QCOMPARE(F::transfer(*link, F::imageHeader(42, 200), F::pattern(96, 1)), (QVector<int>{5, 5, 5}));
        QVERIFY(link->send(TestFrames::request(F::kNextPart, F::pattern(48, 3))));
        QVERIFY(link->readFrame(1000).isEmpty());
        QVERIFY(link->hungUp());
        QVERIFY(!link->send(TestFrames::request(F::kPing)));
        QVERIFY(f.sim->waitForLine("unplugged TAMOSIM0001"));
        QVERIFY(!QFile::exists(f.dir->filePath("TAMOSIM0001.port")));

        QString plugged;
        QVERIFY(f.sim->waitForLine("plugged TAMOSIM0001", 3000, &plugged));
        QCOMPARE(plugged.section(QLatin1Char(' '), 2), f.sim->portOf(F::kSerial));
        // Flash kept the part that arrived before the link went; RAM lost the transfer.
        auto again = f.link();
        QCOMPARE(F::listing(*again, F::kReadImages), (QVector<quint64>{42}));
        QCOMPARE(f.item("42").value("complete").toBool(), false);
        QCOMPARE(f.item("42").value("size").toInt(), 96);
        QCOMPARE(again->exchange(F::kNextPart, F::pattern(48, 3)).status, quint8(2));
        QCOMPARE(again->exchange(F::kCleanUp).status, quint8(0));
        QVERIFY(F::listing(*again, F::kReadImages).isEmpty());
    }

    void faultsSetAtRunTimeCountFromThen()
    {
        QVERIFY(f.start({"--count", "2"}));
        auto link = f.link();
        auto other = f.link("TAMOSIM0002");
        const QByteArray otherMac = QByteArray::fromHex("020b0a334fc4");
        QCOMPARE(outcome(*link), QStringLiteral("ok"));
        QVERIFY(f.sim->ok("fault TAMOSIM0001 drop-answer 2"));
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        // The request whose answer is dropped is carried out all the same.
        QVERIFY(!link->exchange(F::kSetBrightness, QByteArray(1, char(42)), 300).complete);
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(42)));
        // Each device counts its own requests; the other one has no fault.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(outcome(*other, otherMac), QStringLiteral("ok"));

        QVERIFY(f.sim->ok("fault all stay-busy 1"));
        QCOMPARE(outcome(*link), QStringLiteral("busy"));
        QCOMPARE(outcome(*other, otherMac), QStringLiteral("busy"));
        QVERIFY(f.sim->ok("fault all clear"));
        QCOMPARE(outcome(*link), QStringLiteral("ok"));

        QVERIFY(f.sim->ok("fault TAMOSIM0001 unplug-after-parts 1"));
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(1, 60)).status, quint8(5));
        QVERIFY(!link->exchange(F::kNextPart, F::pattern(48, 1), 500).complete);
        QVERIFY(f.sim->waitForLine("unplugged TAMOSIM0001"));
        QVERIFY(f.sim->command("fault TAMOSIM0002 sneeze 1").startsWith(QLatin1String("error ")));
        QVERIFY(f.sim->command("fault TAMOSIM0002 drop-answer 0").startsWith(QLatin1String("error ")));
    }

    void dialectsCanBeSwitchedOff_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("rpc");
        QTest::addColumn<bool>("console");
        QTest::newRow("console only") << QStringList{"--no-rpc"} << false << true;
        QTest::newRow("RPC only") << QStringList{"--no-console"} << true << false;
        QTest::newRow("silent") << QStringList{"--no-rpc", "--no-console"} << false << false;
    }
    void dialectsCanBeSwitchedOff()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, rpc);
        QFETCH(bool, console);
        QVERIFY(f.start(arguments));
        auto link = f.link();
        QCOMPARE(outcome(*link), rpc ? QStringLiteral("ok") : QStringLiteral("none"));
        // As on the real console, the first line after stray bytes is spoiled,
        // which is why the application sends the menu request twice.
        QVERIFY(link->send("0\r\n0\r\n"));
        const QByteArray text = link->readUntilSilence(300);
        QCOMPARE(text.contains("3. Dump Config"), console);
        QCOMPARE(text.contains("Unknown command"), console && !rpc);
        QVERIFY(!text.contains(char(0x07)));
        QVERIFY(!link->hungUp());
        QCOMPARE(f.snapshot().value("rpc").toBool(), rpc);
    }
};

QTEST_GUILESS_MAIN(TestDevsimFaults)
#include "tst_devsim_faults.moc"
