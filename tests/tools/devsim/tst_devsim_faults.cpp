// Fault injection, answer latency and the console-only and RPC-only variants.
#include "DevsimFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QtTest>

class TestDevsimFaults : public QObject
{
    Q_OBJECT

private:
    DevsimFixture f;
    using F = DevsimFixture;

private slots:
    void cleanup()
    {
        QString why;
        QVERIFY2(f.finish(&why), qPrintable(why));
    }

    void dropAnswer()
    {
        QVERIFY(f.start({QStringLiteral("--drop-answer"), QStringLiteral("2,4")}));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        // The second request is carried out, but its answer never comes.
        QVERIFY(!link->exchange(F::kSetBrightness, QByteArray(1, char(42)), 300).complete);
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(42)));
        QVERIFY(!link->exchange(F::kPing, QByteArray(), 300).complete);
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
    }

    void corruptCrc()
    {
        QVERIFY(f.start({QStringLiteral("--corrupt-crc"), QStringLiteral("2")}));
        auto link = f.link();
        QVERIFY(link->exchange(F::kReadMac).crcOk);
        const TestFrames::Answer bad = link->exchange(F::kReadMac);
        QVERIFY(bad.complete);
        QVERIFY(!bad.crcOk);
        QCOMPARE(bad.payload.toHex(' '), QByteArray("01 0b 0a 33 4f c4"));
        QVERIFY(link->exchange(F::kReadMac).crcOk);
    }

    void corruptLength()
    {
        QVERIFY(f.start({QStringLiteral("--corrupt-length"), QStringLiteral("1")}));
        auto link = f.link();
        QVERIFY(link->send(TestFrames::request(F::kReadBattery)));
        // Nine bytes arrive, but the length byte announces ten.
        const QByteArray raw = link->readFrame(300);
        QCOMPARE(raw.size(), 9);
        QCOMPARE(int(raw.at(3)), 6);
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
    }

    void wrongIdentifier()
    {
        QVERIFY(f.start({QStringLiteral("--wrong-id"), QStringLiteral("1-")}));
        auto link = f.link();
        const TestFrames::Answer answer = link->exchange(F::kReadMac);
        QVERIFY(answer.crcOk);
        QCOMPARE(answer.id, quint8(F::kReadMac ^ 1));
        QCOMPARE(answer.payload.size(), 6);
        QCOMPARE(link->exchange(F::kPing).id, quint8(1));
    }

    void stayBusy()
    {
        QVERIFY(f.start({QStringLiteral("--stay-busy"), QStringLiteral("3")}));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QCOMPARE(link->exchange(F::kReadName).status, quint8(0));
        for (int i = 0; i < 10; ++i) {
            const TestFrames::Answer answer = link->exchange(i % 2 ? F::kPing : F::kReadName);
            QCOMPARE(answer.status, quint8(7));
            QVERIFY(answer.crcOk);
        }
    }

    void unplugInTheMiddleOfATransfer()
    {
        QVERIFY(f.start({QStringLiteral("--unplug-after-parts"), QStringLiteral("3"),
                         QStringLiteral("--replug-after-ms"), QStringLiteral("300")}));
        auto link = f.link();
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(42, 200)).status, quint8(5));
        QCOMPARE(link->exchange(F::kNextPart, F::pattern(48, 1)).status, quint8(5));
        QCOMPARE(link->exchange(F::kNextPart, F::pattern(48, 2)).status, quint8(5));
        QVERIFY(link->send(TestFrames::request(F::kNextPart, F::pattern(48, 3))));
        QVERIFY(link->readFrame(1000).isEmpty());
        QVERIFY(link->hungUp());
        QVERIFY(!link->send(TestFrames::request(F::kPing)));
        QVERIFY(f.sim->waitForLine(QStringLiteral("unplugged TAMOSIM0001")));
        QVERIFY(!QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));

        QString plugged;
        QVERIFY(f.sim->waitForLine(QStringLiteral("plugged TAMOSIM0001"), 3000, &plugged));
        QVERIFY(QFile::exists(f.dir->filePath(QStringLiteral("TAMOSIM0001.port"))));
        QCOMPARE(plugged.section(QLatin1Char(' '), 2), f.sim->portOf(F::kSerial));
        // Flash kept the part that arrived before the link went; RAM lost the transfer.
        auto again = f.link();
        QCOMPARE(F::listing(*again, F::kReadImages), (QVector<quint64>{42}));
        const QJsonObject item = f.item(QStringLiteral("42"));
        QCOMPARE(item.value(QStringLiteral("complete")).toBool(), false);
        QCOMPARE(item.value(QStringLiteral("size")).toInt(), 96);
        QCOMPARE(again->exchange(F::kNextPart, F::pattern(48, 3)).status, quint8(2));
        QCOMPARE(again->exchange(F::kCleanUp).status, quint8(0));
        QVERIFY(F::listing(*again, F::kReadImages).isEmpty());
    }

    void faultsSetAtRunTimeCountFromThen()
    {
        QVERIFY(f.start({QStringLiteral("--count"), QStringLiteral("2")}));
        auto link = f.link();
        auto other = f.link(QStringLiteral("TAMOSIM0002"));
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QCOMPARE(f.sim->command(QStringLiteral("fault TAMOSIM0001 drop-answer 2")).left(3), QStringLiteral("ok "));
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QVERIFY(!link->exchange(F::kPing, QByteArray(), 300).complete);
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        // Each device counts its own requests; the other one has no fault.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(other->exchange(F::kPing).status, quint8(0));

        QCOMPARE(f.sim->command(QStringLiteral("fault all stay-busy 1")).left(3), QStringLiteral("ok "));
        QCOMPARE(link->exchange(F::kPing).status, quint8(7));
        QCOMPARE(other->exchange(F::kPing).status, quint8(7));
        QCOMPARE(f.sim->command(QStringLiteral("fault all clear")).left(3), QStringLiteral("ok "));
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));

        QCOMPARE(f.sim->command(QStringLiteral("fault TAMOSIM0001 unplug-after-parts 1")).left(3), QStringLiteral("ok "));
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(1, 60)).status, quint8(5));
        QVERIFY(!link->exchange(F::kNextPart, F::pattern(48, 1), 500).complete);
        QVERIFY(f.sim->waitForLine(QStringLiteral("unplugged TAMOSIM0001")));

        QVERIFY(f.sim->command(QStringLiteral("fault TAMOSIM0002 sneeze 1")).startsWith(QLatin1String("error ")));
        QVERIFY(f.sim->command(QStringLiteral("fault TAMOSIM0002 drop-answer 0")).startsWith(QLatin1String("error ")));
    }

    void latencyPrecedesEveryAnswer()
    {
        QVERIFY(f.start({QStringLiteral("--latency-ms"), QStringLiteral("120")}));
        auto link = f.link();
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(link->exchange(F::kReadMac).status, quint8(0));
            QVERIFY2(clock.elapsed() >= 115, qPrintable(QString::number(clock.elapsed())));
        }
        QElapsedTimer clock;
        clock.start();
        QVERIFY(link->send("0\r\n"));
        QVERIFY(link->readUntilSilence(300).contains("Dump Config"));
        QVERIFY(clock.elapsed() >= 115);
    }

    void consoleOnlyDevice()
    {
        QVERIFY(f.start({QStringLiteral("--no-rpc")}));
        auto link = f.link();
        QVERIFY(link->send(TestFrames::request(F::kReadName)));
        // No frame answers; the console saw a line of garbage at most.
        QVERIFY(!link->readUntilSilence(300).contains(char(0x07)));
        // As on the real console, the first line after the stray bytes is spoiled,
        // which is why the application sends the menu request twice.
        QVERIFY(link->send("0\r\n0\r\n"));
        const QByteArray text = link->readUntilSilence(300);
        QVERIFY(text.contains("Unknown command"));
        QVERIFY(text.contains("3. Dump Config"));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("rpc")).toBool(), false);
    }

    void rpcOnlyDevice()
    {
        QVERIFY(f.start({QStringLiteral("--no-console")}));
        auto link = f.link();
        QVERIFY(link->send("0\r\n"));
        QVERIFY(link->readUntilSilence(300).isEmpty());
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
    }

    void silentDevice()
    {
        QVERIFY(f.start({QStringLiteral("--no-rpc"), QStringLiteral("--no-console")}));
        auto link = f.link();
        QVERIFY(link->send(TestFrames::request(F::kReadMac) + "0\r\n"));
        QVERIFY(link->readUntilSilence(300).isEmpty());
        QVERIFY(!link->hungUp());
    }
};

QTEST_GUILESS_MAIN(TestDevsimFaults)
#include "tst_devsim_faults.moc"
