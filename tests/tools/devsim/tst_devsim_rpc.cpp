// The simulator's RPC dialect, through its real pseudo-terminal, against the
// byte vectors and status codes of the device contract.
#include "DevsimFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

class TestDevsimRpc : public QObject
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

    void knownRequestVectors()
    {
        // The test's own frame builder reproduces the contract's vectors, so
        // everything below speaks the device's language.
        QCOMPARE(TestFrames::request(F::kPing).toHex(' '), QByteArray("07 00 00 04 7b c1 b6 a5"));
        QCOMPARE(TestFrames::request(F::kReadMac).toHex(' '), QByteArray("07 06 00 04 dd 7e 60 40"));
        QCOMPARE(TestFrames::request(F::kReadBattery).toHex(' '), QByteArray("07 20 00 04 5d f7 15 85"));
    }

    void identityAnswers()
    {
        QVERIFY(f.start({QStringLiteral("--battery"), QStringLiteral("200"), QStringLiteral("--fw"),
                         QStringLiteral("1.5.100-rc2"), QStringLiteral("--name"), QStringLiteral("Lobby 12")}));
        auto link = f.link();
        QVERIFY(link->isOpen());

        QVERIFY(link->send(QByteArray::fromHex("070000047BC1B6A5")));
        QCOMPARE(link->readFrame(2000).toHex(' '), QByteArray("07 00 00 04 7b c1 b6 a5"));

        QVERIFY(link->send(QByteArray::fromHex("07060004DD7E6040")));
        const TestFrames::Answer mac = TestFrames::parse(link->readFrame(2000));
        QVERIFY(mac.complete);
        QVERIFY(mac.crcOk);
        QCOMPARE(mac.raw.left(4).toHex(' '), QByteArray("07 06 00 0a"));
        // Least significant byte first: C4:4F:33:0A:0B:01 travels as 01 0B 0A 33 4F C4.
        QCOMPARE(mac.payload.toHex(' '), QByteArray("01 0b 0a 33 4f c4"));

        QVERIFY(link->send(QByteArray::fromHex("072000045DF71585")));
        const TestFrames::Answer battery = TestFrames::parse(link->readFrame(2000));
        QVERIFY(battery.crcOk);
        QCOMPARE(battery.id, quint8(32));
        QCOMPARE(battery.payload, QByteArray(1, char(0xC8)));

        QCOMPARE(link->exchange(F::kReadName).payload, QByteArray("Lobby 12\0", 9));
        QCOMPARE(link->exchange(F::kReadFw).payload, QByteArray("1.5.100-rc2\0", 12));
        QCOMPARE(link->exchange(F::kReadBoard).payload, QByteArray("TB-0412\0", 8));
        QCOMPARE(link->exchange(F::kReadSerial).payload, QByteArray("TD2400001\0", 10));
        QCOMPARE(link->exchange(F::kReadPlant).payload, QByteArray("PL-7\0", 5));
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(80)));
        QCOMPARE(link->exchange(F::kReadDim).payload, QByteArray(1, char(30)));
        QCOMPARE(link->exchange(F::kFreeSlots).payload, QByteArray(1, char(112)));
    }

    void statusCodes()
    {
        QVERIFY(f.start());
        auto link = f.link();

        // 3: a request whose CRC does not match is refused and not carried out.
        QByteArray bad = TestFrames::request(F::kSetBrightness, QByteArray(1, char(55)));
        bad[bad.size() - 1] = static_cast<char>(bad.at(bad.size() - 1) ^ 0x01);
        QVERIFY(link->send(bad));
        TestFrames::Answer answer = TestFrames::parse(link->readFrame(2000));
        QCOMPARE(answer.id, quint8(F::kSetBrightness));
        QCOMPARE(answer.status, quint8(3));
        QVERIFY(answer.crcOk);
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(80)));

        // 2: malformed or out-of-range requests.
        QByteArray reserved = TestFrames::request(F::kPing);
        reserved[2] = 1;
        reserved.replace(4, 4, TestFrames::le32(TestFrames::crc(reserved.left(4))));
        QVERIFY(link->send(reserved));
        QCOMPARE(TestFrames::parse(link->readFrame(2000)).status, quint8(2));
        QCOMPARE(link->exchange(F::kPing, QByteArray("x")).status, quint8(2));
        QCOMPARE(link->exchange(F::kReadImages, QByteArray("x")).status, quint8(2));
        QCOMPARE(link->exchange(F::kSetBrightness, QByteArray(1, char(101))).status, quint8(2));
        QCOMPARE(link->exchange(F::kSetBrightness, QByteArray(2, char(10))).status, quint8(2));
        QCOMPARE(link->exchange(F::kNextPart).status, quint8(2));
        QCOMPARE(link->exchange(F::kNextPart, QByteArray(48, 'a')).status, quint8(2));
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x01') + TestFrames::le64(42)).status, quint8(2));
        QCOMPARE(link->exchange(F::kDelete, TestFrames::le64(42)).status, quint8(2));
        QCOMPARE(link->exchange(F::kActivate, TestFrames::le64(42)).status, quint8(2));
        QCOMPARE(link->exchange(F::kCharging, TestFrames::le64(42) + TestFrames::le64(0)).status, quint8(2));

        // 4: a command the firmware does not know.
        answer = link->exchange(22);
        QCOMPARE(answer.id, quint8(22));
        QCOMPARE(answer.status, quint8(4));

        // Settings that pass are kept.
        QCOMPARE(link->exchange(F::kSetBrightness, QByteArray(1, char(100))).status, quint8(0));
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(100)));
        QCOMPARE(link->exchange(F::kSetDim, QByteArray(1, char(0))).status, quint8(0));
        QCOMPARE(link->exchange(F::kReadDim).payload, QByteArray(1, char(0)));
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("identity")).toObject()
                     .value(QStringLiteral("brightness")).toInt(), 100);
    }

    void imageTransferAssemblesBytes()
    {
        QVERIFY(f.start());
        auto link = f.link();
        const QByteArray image = F::pattern(100, 1);
        QCOMPARE(F::transfer(*link, F::imageHeader(42, 100), image), (QVector<int>{5, 5, 5, 0}));

        const QJsonObject item = f.item(QStringLiteral("42"));
        QCOMPARE(item.value(QStringLiteral("kind")).toString(), QStringLiteral("image"));
        QCOMPARE(item.value(QStringLiteral("complete")).toBool(), true);
        QCOMPARE(item.value(QStringLiteral("frames")).toInt(), 1);
        QCOMPARE(item.value(QStringLiteral("size")).toInt(), 100);
        QCOMPARE(item.value(QStringLiteral("sha256")).toString(), F::sha256(image));
        QCOMPARE(link->exchange(F::kFreeSlots).payload, QByteArray(1, char(111)));
        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{42}));

        // 1: the same identifier again.
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(42, 10)).status, quint8(1));
        // An image of exactly 48 bytes is one part.
        QCOMPARE(F::transfer(*link, F::imageHeader(43, 48), F::pattern(48, 2)), (QVector<int>{5, 0}));
    }

    void transferRulesAreEnforced_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QVector<int>>("partSizes");
        QTest::addColumn<QVector<int>>("statuses");
        QTest::newRow("short part in the middle")
            << F::imageHeader(7, 100) << QVector<int>{47} << QVector<int>{5, 2};
        QTest::newRow("more than announced")
            << F::imageHeader(7, 50) << QVector<int>{48, 48} << QVector<int>{5, 5, 2};
        QTest::newRow("part above 48 bytes")
            << F::imageHeader(7, 100) << QVector<int>{49} << QVector<int>{5, 2};
        QTest::newRow("header of 14 bytes")
            << F::imageHeader(7, 100) + "x" << QVector<int>{48} << QVector<int>{2, 2};
        QTest::newRow("unknown type")
            << TestFrames::le64(7) + TestFrames::le32(100) + QByteArray(1, '\x09') << QVector<int>{} << QVector<int>{2};
        QTest::newRow("empty picture") << F::imageHeader(7, 0) << QVector<int>{} << QVector<int>{2};
        QTest::newRow("frame without its GIF")
            << F::imageHeader(7, 10) + TestFrames::le16(8) << QVector<int>{10} << QVector<int>{2, 2};
    }

    void transferRulesAreEnforced()
    {
        QFETCH(QByteArray, header);
        QFETCH(QVector<int>, partSizes);
        QFETCH(QVector<int>, statuses);
        QVERIFY(f.start());
        auto link = f.link();
        QVector<int> seen;
        seen << link->exchange(F::kTransfer, header).status;
        for (const int size : partSizes)
            seen << link->exchange(F::kNextPart, F::pattern(size, 3)).status;
        QCOMPARE(seen, statuses);
        // A broken transfer leaves a partial item that the clean-up removes.
        QCOMPARE(link->exchange(F::kCleanUp).status, quint8(0));
        QVERIFY(F::listing(*link, F::kReadImages).isEmpty());
        QCOMPARE(link->exchange(F::kFreeSlots).payload, QByteArray(1, char(112)));
    }

    void partialItemsStayUntilCleanUp()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QCOMPARE(F::transfer(*link, F::imageHeader(9, 100), F::pattern(48, 1)), (QVector<int>{5, 5}));
        // Another header while the first is open: the first stays in flash, partial.
        QCOMPARE(F::transfer(*link, F::imageHeader(10, 20), F::pattern(20, 1)), (QVector<int>{5, 0}));
        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{9, 10}));
        QCOMPARE(f.item(QStringLiteral("9")).value(QStringLiteral("complete")).toBool(), false);
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(9, 100)).status, quint8(1));
        QCOMPARE(link->exchange(F::kCleanUp).status, quint8(0));
        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{10}));

        // Cancel drops the item being transferred.
        QCOMPARE(F::transfer(*link, F::imageHeader(11, 100), F::pattern(48, 1)), (QVector<int>{5, 5}));
        QCOMPARE(link->exchange(F::kCancel).status, quint8(0));
        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{10}));
        QCOMPARE(link->exchange(F::kNextPart, F::pattern(48, 1)).status, quint8(2));
    }

    void gifTransfer()
    {
        // With --keep-content every received frame is also a file to look at.
        const QString kept = QDir::temp().filePath(QStringLiteral("tamo-kept-%1").arg(QCoreApplication::applicationPid()));
        QVERIFY(f.start({QStringLiteral("--keep-content"), kept}));
        auto link = f.link();
        const quint64 gif = 0x1122334455667788ull;
        QCOMPARE(link->exchange(F::kTransfer, TestFrames::le64(gif) + TestFrames::le32(3) + QByteArray(1, '\x03')).status,
                 quint8(0));
        const QVector<QByteArray> frames{F::pattern(60, 1), F::pattern(48, 2), F::pattern(5, 3)};
        QCOMPARE(F::transfer(*link, F::imageHeader(gif, 60) + TestFrames::le16(8), frames[0]), (QVector<int>{5, 5, 0}));
        QCOMPARE(F::transfer(*link, F::imageHeader(gif, 48) + TestFrames::le16(7), frames[1]), (QVector<int>{5, 0}));
        // A frame with a delay below 5 ms comes without a duration field.
        QCOMPARE(F::transfer(*link, F::imageHeader(gif, 5), frames[2]), (QVector<int>{5, 0}));

        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{gif, gif, gif}));
        QCOMPARE(F::listing(*link, F::kReadGifs), (QVector<quint64>{gif}));
        QCOMPARE(link->exchange(F::kFreeSlots).payload, QByteArray(1, char(109)));
        const QJsonObject item = f.item(QString::number(gif));
        QCOMPARE(item.value(QStringLiteral("kind")).toString(), QStringLiteral("gif"));
        QCOMPARE(item.value(QStringLiteral("complete")).toBool(), true);
        QCOMPARE(item.value(QStringLiteral("frames")).toInt(), 3);
        QCOMPARE(item.value(QStringLiteral("size")).toInt(), 113);
        QCOMPARE(item.value(QStringLiteral("sha256")).toString(), F::sha256(frames[0] + frames[1] + frames[2]));
        QCOMPARE(item.value(QStringLiteral("durations")).toArray(), (QJsonArray{8, 7, 0}));
        QCOMPARE(item.value(QStringLiteral("frameSha256")).toArray().at(1).toString(), F::sha256(frames[1]));
        // The GIF is complete: a fourth frame is refused as already stored.
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(gif, 5)).status, quint8(1));
        QDir keptDir(kept);
        QCOMPARE(keptDir.entryList(QDir::Files, QDir::Name),
                 (QStringList{"TAMOSIM0001_1234605616436508552_001.bin", "TAMOSIM0001_1234605616436508552_002.bin",
                              "TAMOSIM0001_1234605616436508552_003.bin"}));
        for (int i = 0; i < frames.size(); ++i) {
            QFile file(keptDir.filePath(QStringLiteral("TAMOSIM0001_1234605616436508552_00%1.bin").arg(i + 1)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), frames.at(i));
        }
        QVERIFY(keptDir.removeRecursively());
    }

    void slideshowTransfer()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QByteArray ids;
        for (quint64 i = 1; i <= 13; ++i)
            ids += TestFrames::le64(1000 + i);
        const QByteArray header = TestFrames::le64(77) + TestFrames::le16(13) + TestFrames::le16(5)
            + QByteArray(1, '\x02');
        QCOMPARE(F::transfer(*link, header, ids), (QVector<int>{5, 5, 5, 0}));
        QCOMPARE(F::listing(*link, F::kReadSlideshows), (QVector<quint64>{77}));
        QCOMPARE(F::listing(*link, F::kReadSlideshowImages).size(), 13);
        QCOMPARE(link->exchange(F::kFreeSlots).payload, QByteArray(1, char(112)));
        const QJsonObject item = f.item(QStringLiteral("77"));
        QCOMPARE(item.value(QStringLiteral("kind")).toString(), QStringLiteral("slideshow"));
        QCOMPARE(item.value(QStringLiteral("interval")).toInt(), 5);
        QCOMPARE(item.value(QStringLiteral("images")).toArray().size(), 13);
        QCOMPARE(item.value(QStringLiteral("images")).toArray().at(12).toString(), QStringLiteral("1013"));
        QCOMPARE(item.value(QStringLiteral("sha256")).toString(), F::sha256(ids));

        // Identifiers come whole: a part of 44 bytes is refused.
        const QByteArray second = TestFrames::le64(78) + TestFrames::le16(7) + TestFrames::le16(5) + QByteArray(1, '\x02');
        QCOMPARE(link->exchange(F::kTransfer, second).status, quint8(5));
        QCOMPARE(link->exchange(F::kNextPart, ids.left(44)).status, quint8(2));
    }

    void slotsRunOut()
    {
        QVERIFY(f.start({QStringLiteral("--slots"), QStringLiteral("2")}));
        auto link = f.link();
        QCOMPARE(F::transfer(*link, F::imageHeader(1, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        QCOMPARE(F::transfer(*link, F::imageHeader(2, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(3, 4)).status, quint8(6));
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x01') + TestFrames::le64(2)).status, quint8(0));
        // One slot free: a GIF of two frames does not fit.
        QCOMPARE(link->exchange(F::kTransfer, TestFrames::le64(5) + TestFrames::le32(2) + QByteArray(1, '\x03')).status,
                 quint8(6));
        QCOMPARE(F::transfer(*link, F::imageHeader(3, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        QCOMPARE(link->exchange(F::kFreeSlots).payload, QByteArray(1, char(0)));
    }

    void listingsLongerThanOneAnswer()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QVector<quint64> stored;
        for (quint64 id = 1; id <= 20; ++id) {
            QCOMPARE(F::transfer(*link, F::imageHeader(id * 1000, 1), QByteArray(1, 'x')), (QVector<int>{5, 0}));
            stored << id * 1000;
            if (id == 15) {
                // 120 bytes still fit into one answer.
                QVector<int> statuses;
                QCOMPARE(F::listing(*link, F::kReadImages, &statuses), stored);
                QCOMPARE(statuses, (QVector<int>{0}));
            }
        }
        QVector<int> statuses, sizes;
        QCOMPARE(F::listing(*link, F::kReadImages, &statuses, &sizes), stored);
        QCOMPARE(statuses, (QVector<int>{5, 0}));
        QCOMPARE(sizes, (QVector<int>{120, 40}));
        // Nothing more to continue.
        QCOMPARE(link->exchange(F::kNextPart).status, quint8(2));

        // Any other request ends an unfinished multi-part answer.
        QCOMPARE(link->exchange(F::kReadImages).status, quint8(5));
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QCOMPARE(link->exchange(F::kNextPart).status, quint8(2));
    }

    void logsLongerThanOneAnswer()
    {
        QVERIFY(f.start());
        QStringList added;
        for (int i = 0; i < 8; ++i) {
            added << QStringLiteral("test line %1 with some padding text").arg(i);
            QCOMPARE(f.sim->command(QStringLiteral("log %1 %2").arg(QLatin1String(F::kSerial), added.last())).left(3),
                     QStringLiteral("ok "));
        }
        auto link = f.link();
        QByteArray all;
        TestFrames::Answer answer = link->exchange(F::kReadLog);
        QCOMPARE(answer.status, quint8(5));
        QCOMPARE(answer.payload.size(), 123);
        int answers = 0;
        while (answer.complete && ++answers < 20) {
            all += answer.payload;
            if (answer.status == 0)
                break;
            QCOMPARE(answer.status, quint8(5));
            answer = link->exchange(F::kNextPart);
            QCOMPARE(answer.id, quint8(F::kNextPart));
        }
        QVERIFY(answers >= 3);
        QVERIFY(all.endsWith('\0'));
        const QList<QByteArray> lines = all.split('\0');
        for (const QString &line : added)
            QVERIFY2(lines.contains(line.toUtf8()), qPrintable(line));
    }

    void eraseKeepsTheDeviceBusy()
    {
        QVERIFY(f.start({QStringLiteral("--erase-ms"), QStringLiteral("400")}));
        auto link = f.link();
        QCOMPARE(F::transfer(*link, F::imageHeader(5, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        QElapsedTimer clock;
        clock.start();
        const TestFrames::Answer erase = link->exchange(F::kErase);
        QCOMPARE(erase.id, quint8(F::kErase));
        QCOMPARE(erase.status, quint8(7));
        QCOMPARE(link->exchange(F::kPing).status, quint8(7));
        QCOMPARE(link->exchange(F::kReadImages).status, quint8(7));
        QVERIFY(f.sim->snapshot(F::kSerial).value(QStringLiteral("busy")).toBool());
        int polls = 0;
        while (link->exchange(F::kPing).status == 7 && polls < 100) {
            ++polls;
            QThread::msleep(20);
        }
        QVERIFY(clock.elapsed() >= 380);
        QVERIFY(polls > 5);
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QVERIFY(F::listing(*link, F::kReadImages).isEmpty());
        QTRY_VERIFY(!f.sim->snapshot(F::kSerial).value(QStringLiteral("busy")).toBool());
        QCOMPARE(f.sim->snapshot(F::kSerial).value(QStringLiteral("items")).toArray().size(), 0);
    }

    void deleteActivateAndChargingDisplay()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QCOMPARE(F::transfer(*link, F::imageHeader(1, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        QCOMPARE(link->exchange(F::kTransfer, TestFrames::le64(2) + TestFrames::le32(1) + QByteArray(1, '\x03')).status,
                 quint8(0));
        QCOMPARE(F::transfer(*link, F::imageHeader(2, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        const QByteArray show = TestFrames::le64(3) + TestFrames::le16(1) + TestFrames::le16(5) + QByteArray(1, '\x02');
        QCOMPARE(F::transfer(*link, show, TestFrames::le64(1)), (QVector<int>{5, 0}));

        QCOMPARE(link->exchange(F::kActivate, TestFrames::le64(3)).status, quint8(0));
        QCOMPARE(link->exchange(F::kCharging, TestFrames::le64(3) + TestFrames::le64(1)).status, quint8(0));
        QJsonObject snapshot = f.sim->snapshot(F::kSerial);
        QCOMPARE(snapshot.value(QStringLiteral("defaultContent")).toString(), QStringLiteral("3"));
        QCOMPARE(snapshot.value(QStringLiteral("chargingDisplay")).toArray().at(0).toObject()
                     .value(QStringLiteral("picture")).toString(), QStringLiteral("1"));

        // The wrong type finds nothing; the right one removes, and references go.
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x03') + TestFrames::le64(3)).status, quint8(2));
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x02') + TestFrames::le64(3)).status, quint8(0));
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x03') + TestFrames::le64(2)).status, quint8(0));
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x01') + TestFrames::le64(1)).status, quint8(0));
        snapshot = f.sim->snapshot(F::kSerial);
        QCOMPARE(snapshot.value(QStringLiteral("defaultContent")).toString(), QString());
        QCOMPARE(snapshot.value(QStringLiteral("items")).toArray().size(), 0);
        QCOMPARE(snapshot.value(QStringLiteral("freeSlots")).toInt(), 112);

        // A GIF of one frame is listed like a still picture and deleted as one.
        QCOMPARE(link->exchange(F::kTransfer, TestFrames::le64(4) + TestFrames::le32(1) + QByteArray(1, '\x03')).status,
                 quint8(0));
        QCOMPARE(F::transfer(*link, F::imageHeader(4, 4), F::pattern(4, 1)), (QVector<int>{5, 0}));
        QCOMPARE(link->exchange(F::kDelete, QByteArray(1, '\x01') + TestFrames::le64(4)).status, quint8(0));
        QVERIFY(F::listing(*link, F::kReadGifs).isEmpty());
    }

    void incompleteFrameTimesOut()
    {
        QVERIFY(f.start({QStringLiteral("--frame-timeout-ms"), QStringLiteral("80")}));
        auto link = f.link();
        const QByteArray ping = TestFrames::request(F::kPing);
        // Split within the time-out: one frame.
        QVERIFY(link->send(ping.left(5)));
        QThread::msleep(20);
        QVERIFY(link->send(ping.mid(5)));
        QCOMPARE(TestFrames::parse(link->readFrame(2000)).status, quint8(0));
        // A stump older than the time-out is dropped; the next frame stands alone.
        QVERIFY(link->send(TestFrames::request(F::kReadMac).left(6)));
        QThread::msleep(200);
        QVERIFY(link->send(ping));
        const TestFrames::Answer answer = TestFrames::parse(link->readFrame(2000));
        QCOMPARE(answer.id, quint8(F::kPing));
        QCOMPARE(answer.status, quint8(0));
        QVERIFY(link->readUntilSilence(150).isEmpty());
    }

    void closedHostLosesWhatItDidNotRead()
    {
        QVERIFY(f.start({QStringLiteral("--latency-ms"), QStringLiteral("100")}));
        auto first = f.link();
        QVERIFY(first->send(TestFrames::request(F::kReadName)));
        first->close();
        QThread::msleep(250);
        auto second = f.link();
        QVERIFY(second->readUntilSilence(200).isEmpty());
        // Unread answers at a close are flushed too.
        QVERIFY(second->send(TestFrames::request(F::kReadFw)));
        QThread::msleep(250);
        second->close();
        // The simulator learns of the close from the kernel a moment later; a port
        // reset leaves far more time than that.
        QThread::msleep(50);
        auto third = f.link();
        QVERIFY(third->readUntilSilence(200).isEmpty());
        QCOMPARE(third->exchange(F::kPing).status, quint8(0));
    }

    void framesSplitAnywhereOrBackToBack()
    {
        QVERIFY(f.start());
        auto link = f.link();
        // Three requests in one write: three answers, in order.
        QVERIFY(link->send(TestFrames::request(F::kPing) + TestFrames::request(F::kReadMac)
                           + TestFrames::request(F::kPing)));
        QVector<quint8> ids;
        for (int i = 0; i < 3; ++i) {
            const TestFrames::Answer answer = TestFrames::parse(link->readFrame(2000));
            QVERIFY(answer.complete && answer.crcOk);
            QCOMPARE(answer.status, quint8(0));
            ids << answer.id;
        }
        QCOMPARE(ids, (QVector<quint8>{F::kPing, F::kReadMac, F::kPing}));

        // A transfer whose frames arrive cut at every kind of place, a part's end
        // sharing a write with the next part's start: the bytes land as sent.
        const QByteArray image = F::pattern(150, 3);
        QByteArray stream = TestFrames::request(F::kTransfer, F::imageHeader(77, 150));
        for (int at = 0; at < image.size(); at += 48)
            stream += TestFrames::request(F::kNextPart, image.mid(at, 48));
        const QVector<int> cuts{1, 3, 4, 5, 20, 21, 60, 61, 100, 150, 151, 200, stream.size()};
        int from = 0;
        for (const int cut : cuts) {
            QVERIFY(link->send(stream.mid(from, cut - from)));
            from = cut;
            QThread::msleep(2);
        }
        QVector<int> statuses;
        for (int i = 0; i < 5; ++i) {
            const TestFrames::Answer answer = TestFrames::parse(link->readFrame(2000));
            statuses << (answer.complete ? answer.status : -1);
        }
        QCOMPARE(statuses, (QVector<int>{5, 5, 5, 5, 0}));
        const QJsonObject item = f.item(QStringLiteral("77"));
        QCOMPARE(item.value(QStringLiteral("complete")).toBool(), true);
        QCOMPARE(item.value(QStringLiteral("sha256")).toString(), F::sha256(image));
    }
};

QTEST_GUILESS_MAIN(TestDevsimRpc)
#include "tst_devsim_rpc.moc"
