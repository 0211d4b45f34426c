// The simulator's RPC dialect, through its real pseudo-terminal, against the
// byte vectors and status codes of the device contract.
#include "DevsimFixture.h"

#include <QThread>
#include <QtTest>

using F = DevsimFixture;
using TestFrames::le16;
using TestFrames::le32;
using TestFrames::le64;

class TestDevsimRpc : public QObject
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
    void cleanupTestCase() { QVERIFY(f.cleanup(true).isEmpty()); }

    void knownRequestVectors()
    {
        // The test's own frame builder reproduces the contract's vectors, so
        // everything below speaks the device's language.
        QCOMPARE(TestFrames::request(F::kPing).toHex(' '), QByteArray("07 00 00 04 7b c1 b6 a5"));
        QCOMPARE(TestFrames::request(F::kReadMac).toHex(' '), QByteArray("07 06 00 04 dd 7e 60 40"));
        QCOMPARE(TestFrames::request(F::kReadBattery).toHex(' '), QByteArray("07 20 00 04 5d f7 15 85"));
    }

    void identityAnswers_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("payload");
        // Least significant byte first: C4:4F:33:0A:0B:01 travels as 01 0B 0A 33 4F C4.
        QTest::newRow("MAC") << int(F::kReadMac) << QByteArray::fromHex("010b0a334fc4");
        QTest::newRow("battery") << int(F::kReadBattery) << QByteArray(1, char(200));
        QTest::newRow("name") << int(F::kReadName) << QByteArray("Lobby 12\0", 9);
        QTest::newRow("firmware") << int(F::kReadFw) << QByteArray("1.5.100-rc2\0", 12);
        QTest::newRow("board") << int(F::kReadBoard) << QByteArray("TB-0412\0", 8);
        QTest::newRow("device serial") << int(F::kReadSerial) << QByteArray("TD2400001\0", 10);
        QTest::newRow("plant") << int(F::kReadPlant) << QByteArray("PL-7\0", 5);
        QTest::newRow("brightness") << int(F::kReadBrightness) << QByteArray(1, char(80));
        QTest::newRow("dim level") << int(F::kReadDim) << QByteArray(1, char(30));
        QTest::newRow("free slots") << int(F::kFreeSlots) << QByteArray(1, char(112));
        QTest::newRow("ping") << int(F::kPing) << QByteArray();
    }
    void identityAnswers()
    {
        QFETCH(int, command);
        QFETCH(QByteArray, payload);
        QVERIFY(f.share({"--battery", "200", "--fw", "1.5.100-rc2", "--name", "Lobby 12"}));
        const TestFrames::Answer answer = f.link()->exchange(quint8(command));
        QVERIFY(answer.complete && answer.crcOk);
        QCOMPARE(int(answer.id), command);
        QCOMPARE(int(answer.status), 0);
        QCOMPARE(answer.payload.toHex(' '), payload.toHex(' '));
        QCOMPARE(int(quint8(answer.raw.at(3))), payload.size() + 4);
    }

    void refusalsCarryTheirStatus_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("status");
        QByteArray badCrc = TestFrames::request(F::kSetBrightness, QByteArray(1, char(55)));
        badCrc[badCrc.size() - 1] = static_cast<char>(badCrc.at(badCrc.size() - 1) ^ 0x01);
        QByteArray reserved = TestFrames::request(F::kPing);
        reserved[2] = 1;
        reserved.replace(4, 4, le32(TestFrames::crc(reserved.left(4))));
        const auto request = [](quint8 id, const QByteArray &payload) { return TestFrames::request(id, payload); };
        QTest::newRow("CRC mismatch") << badCrc << 3;
        QTest::newRow("reserved byte set") << reserved << 2;
        QTest::newRow("ping with a payload") << request(F::kPing, "x") << 2;
        QTest::newRow("listing with a payload") << request(F::kReadImages, "x") << 2;
        QTest::newRow("brightness above 100") << request(F::kSetBrightness, QByteArray(1, char(101))) << 2;
        QTest::newRow("brightness of two bytes") << request(F::kSetBrightness, QByteArray(2, char(10))) << 2;
        QTest::newRow("next part, nothing open") << request(F::kNextPart, {}) << 2;
        QTest::newRow("next part of 48 bytes, nothing open") << request(F::kNextPart, QByteArray(48, 'a')) << 2;
        QTest::newRow("delete of an unknown item") << request(F::kDelete, F::deletion(F::kImage, 42)) << 2;
        QTest::newRow("delete without a type") << request(F::kDelete, le64(42)) << 2;
        QTest::newRow("activate an unknown item") << request(F::kActivate, le64(42)) << 2;
        QTest::newRow("charging display of unknown items") << request(F::kCharging, le64(42) + le64(0)) << 2;
        QTest::newRow("unknown command") << request(22, {}) << 4;
    }
    void refusalsCarryTheirStatus()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, status);
        QVERIFY(f.share());
        auto link = f.link();
        QVERIFY(link->send(frame));
        const TestFrames::Answer answer = TestFrames::parse(link->readFrame(2000));
        QVERIFY(answer.crcOk);
        QCOMPARE(answer.id, quint8(frame.at(1)));
        QCOMPARE(int(answer.status), status);
        // A refused request is not carried out.
        QCOMPARE(link->exchange(F::kReadBrightness).payload, QByteArray(1, char(80)));
    }

    void imageTransferAssemblesBytes()
    {
        QVERIFY(f.start());
        auto link = f.link();
        const QByteArray image = F::pattern(100, 1);
        QCOMPARE(F::transfer(*link, F::imageHeader(42, 100), image), (QVector<int>{5, 5, 5, 0}));
        const QJsonObject item = f.item("42");
        QCOMPARE(item.value("kind").toString(), QStringLiteral("image"));
        QCOMPARE(item.value("complete").toBool(), true);
        QCOMPARE(item.value("frames").toInt(), 1);
        QCOMPARE(item.value("size").toInt(), 100);
        QCOMPARE(item.value("sha256").toString(), F::sha256(image));
        QCOMPARE(F::freeSlots(*link), 111);
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
        QTest::newRow("short part in the middle") << F::imageHeader(7, 100) << QVector<int>{47} << QVector<int>{5, 2};
        QTest::newRow("more than announced") << F::imageHeader(7, 50) << QVector<int>{48, 48} << QVector<int>{5, 5, 2};
        QTest::newRow("part above 48 bytes") << F::imageHeader(7, 100) << QVector<int>{49} << QVector<int>{5, 2};
        QTest::newRow("header of 14 bytes") << F::imageHeader(7, 100) + "x" << QVector<int>{48} << QVector<int>{2, 2};
        QTest::newRow("unknown type") << le64(7) + le32(100) + QByteArray(1, '\x09') << QVector<int>{} << QVector<int>{2};
        QTest::newRow("empty picture") << F::imageHeader(7, 0) << QVector<int>{} << QVector<int>{2};
        QTest::newRow("frame without its GIF") << F::imageHeader(7, 10) + le16(8) << QVector<int>{10} << QVector<int>{2, 2};
    }
    void transferRulesAreEnforced()
    {
        QFETCH(QByteArray, header);
        QFETCH(QVector<int>, partSizes);
        QFETCH(QVector<int>, statuses);
        QVERIFY(f.share()); // every row leaves the device empty again
        auto link = f.link();
        QVector<int> seen{link->exchange(F::kTransfer, header).status};
        for (const int size : partSizes)
            seen << link->exchange(F::kNextPart, F::pattern(size, 3)).status;
        QCOMPARE(seen, statuses);
        // A broken transfer leaves a partial item that the clean-up removes.
        QCOMPARE(link->exchange(F::kCleanUp).status, quint8(0));
        QVERIFY(F::listing(*link, F::kReadImages).isEmpty());
        QCOMPARE(F::freeSlots(*link), 112);
    }

    void partialItemsStayUntilCleanUpOrCancel()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QCOMPARE(F::transfer(*link, F::imageHeader(9, 100), F::pattern(48, 1)), (QVector<int>{5, 5}));
        // Another header while the first is open: the first stays in flash, partial.
        QCOMPARE(F::transfer(*link, F::imageHeader(10, 20), F::pattern(20, 1)), (QVector<int>{5, 0}));
        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{9, 10}));
        QCOMPARE(f.item("9").value("complete").toBool(), false);
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
        QTemporaryDir kept;
        QVERIFY(f.start({"--keep-content", kept.path()}));
        auto link = f.link();
        const quint64 gif = 0x1122334455667788ull;
        QCOMPARE(link->exchange(F::kTransfer, F::gifHeader(gif, 3)).status, quint8(0));
        const QVector<QByteArray> frames{F::pattern(60, 1), F::pattern(48, 2), F::pattern(5, 3)};
        QCOMPARE(F::transfer(*link, F::imageHeader(gif, 60) + le16(8), frames[0]), (QVector<int>{5, 5, 0}));
        QCOMPARE(F::transfer(*link, F::imageHeader(gif, 48) + le16(7), frames[1]), (QVector<int>{5, 0}));
        // A frame with a delay below 5 ms comes without a duration field.
        QCOMPARE(F::transfer(*link, F::imageHeader(gif, 5), frames[2]), (QVector<int>{5, 0}));

        QCOMPARE(F::listing(*link, F::kReadImages), (QVector<quint64>{gif, gif, gif}));
        QCOMPARE(F::listing(*link, F::kReadGifs), (QVector<quint64>{gif}));
        QCOMPARE(F::freeSlots(*link), 109);
        const QJsonObject item = f.item(QString::number(gif));
        QCOMPARE(item.value("kind").toString(), QStringLiteral("gif"));
        QCOMPARE(item.value("complete").toBool(), true);
        QCOMPARE(item.value("size").toInt(), 113);
        QCOMPARE(item.value("sha256").toString(), F::sha256(frames[0] + frames[1] + frames[2]));
        QCOMPARE(item.value("durations").toArray(), (QJsonArray{8, 7, 0}));
        QCOMPARE(item.value("frameSha256").toArray().at(1).toString(), F::sha256(frames[1]));
        // The GIF is complete: a fourth frame is refused as already stored.
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(gif, 5)).status, quint8(1));
        for (int i = 0; i < frames.size(); ++i) {
            QFile file(kept.filePath(QStringLiteral("TAMOSIM0001_1234605616436508552_00%1.bin").arg(i + 1)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), frames.at(i));
        }
    }

    void slideshowTransfer()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QByteArray ids;
        for (quint64 i = 1; i <= 13; ++i)
            ids += le64(1000 + i);
        QCOMPARE(F::transfer(*link, F::slideshowHeader(77, 13, 5), ids), (QVector<int>{5, 5, 5, 0}));
        QCOMPARE(F::listing(*link, F::kReadSlideshows), (QVector<quint64>{77}));
        QCOMPARE(F::listing(*link, F::kReadSlideshowImages).size(), 13);
        QCOMPARE(F::freeSlots(*link), 112);
        const QJsonObject item = f.item("77");
        QCOMPARE(item.value("kind").toString(), QStringLiteral("slideshow"));
        QCOMPARE(item.value("interval").toInt(), 5);
        QCOMPARE(item.value("images").toArray().size(), 13);
        QCOMPARE(item.value("images").toArray().at(12).toString(), QStringLiteral("1013"));
        QCOMPARE(item.value("sha256").toString(), F::sha256(ids));
        // Identifiers come whole: a part of 44 bytes is refused.
        QCOMPARE(link->exchange(F::kTransfer, F::slideshowHeader(78, 7, 5)).status, quint8(5));
        QCOMPARE(link->exchange(F::kNextPart, ids.left(44)).status, quint8(2));
    }

    void slotsRunOut()
    {
        QVERIFY(f.start({"--slots", "2"}));
        auto link = f.link();
        QVERIFY(F::store(*link, 1));
        QVERIFY(F::store(*link, 2));
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(3, 4)).status, quint8(6));
        QCOMPARE(link->exchange(F::kDelete, F::deletion(F::kImage, 2)).status, quint8(0));
        // One slot free: a GIF of two frames does not fit.
        QCOMPARE(link->exchange(F::kTransfer, F::gifHeader(5, 2)).status, quint8(6));
        QVERIFY(F::store(*link, 3));
        QCOMPARE(F::freeSlots(*link), 0);
    }

    void listingsLongerThanOneAnswer()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QVector<quint64> stored;
        for (quint64 id = 1; id <= 20; ++id) {
            QCOMPARE(F::transfer(*link, F::imageHeader(id * 1000, 1), "x"), (QVector<int>{5, 0}));
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
        QCOMPARE(link->exchange(F::kNextPart).status, quint8(2)); // nothing more to continue
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
            QVERIFY(f.sim->ok(QStringLiteral("log TAMOSIM0001 ") + added.last()));
        }
        QVector<int> statuses, sizes;
        const QByteArray all = F::multiPart(*f.link(), F::kReadLog, &statuses, &sizes);
        QVERIFY(statuses.size() >= 3 && statuses.count(5) == statuses.size() - 1 && statuses.last() == 0);
        QCOMPARE(sizes.first(), 123);
        QVERIFY(all.endsWith('\0'));
        const QList<QByteArray> lines = all.split('\0');
        for (const QString &line : added)
            QVERIFY2(lines.contains(line.toUtf8()), qPrintable(line));
    }

    void eraseKeepsTheDeviceBusy()
    {
        QVERIFY(f.start({"--erase-ms", "400"}));
        auto link = f.link();
        QVERIFY(F::store(*link, 5));
        const TestFrames::Answer erase = link->exchange(F::kErase);
        QCOMPARE(erase.id, F::kErase);
        QCOMPARE(erase.status, quint8(7));
        QCOMPARE(link->exchange(F::kReadImages).status, quint8(7));
        QVERIFY(f.snapshot().value("busy").toBool());
        int polls = 0;
        while (link->exchange(F::kPing).status == 7 && polls < 100) {
            ++polls;
            QThread::msleep(20);
        }
        QVERIFY(polls > 5);
        QCOMPARE(link->exchange(F::kPing).status, quint8(0));
        QVERIFY(F::listing(*link, F::kReadImages).isEmpty());
        QTRY_VERIFY(!f.snapshot().value("busy").toBool());
        QCOMPARE(f.snapshot().value("items").toArray().size(), 0);
    }

    void deleteActivateAndChargingDisplay()
    {
        QVERIFY(f.start());
        auto link = f.link();
        QVERIFY(F::store(*link, 1));
        QCOMPARE(link->exchange(F::kTransfer, F::gifHeader(2, 1)).status, quint8(0));
        QVERIFY(F::store(*link, 2));
        QCOMPARE(F::transfer(*link, F::slideshowHeader(3, 1, 5), le64(1)), (QVector<int>{5, 0}));
        QCOMPARE(link->exchange(F::kActivate, le64(3)).status, quint8(0));
        QCOMPARE(link->exchange(F::kCharging, le64(3) + le64(1)).status, quint8(0));
        QJsonObject snapshot = f.snapshot();
        QCOMPARE(snapshot.value("defaultContent").toString(), QStringLiteral("3"));
        QCOMPARE(snapshot.value("chargingDisplay").toArray().at(0).toObject().value("picture").toString(),
                 QStringLiteral("1"));

        // The wrong type finds nothing; the right one removes, and references go.
        QCOMPARE(link->exchange(F::kDelete, F::deletion(F::kGif, 3)).status, quint8(2));
        QCOMPARE(link->exchange(F::kDelete, F::deletion(F::kSlideshow, 3)).status, quint8(0));
        QCOMPARE(link->exchange(F::kDelete, F::deletion(F::kGif, 2)).status, quint8(0));
        QCOMPARE(link->exchange(F::kDelete, F::deletion(F::kImage, 1)).status, quint8(0));
        snapshot = f.snapshot();
        QCOMPARE(snapshot.value("defaultContent").toString(), QString());
        QCOMPARE(snapshot.value("items").toArray().size(), 0);
        QCOMPARE(snapshot.value("freeSlots").toInt(), 112);

        // A GIF of one frame is listed like a still picture and deleted as one.
        QCOMPARE(link->exchange(F::kTransfer, F::gifHeader(4, 1)).status, quint8(0));
        QVERIFY(F::store(*link, 4));
        QCOMPARE(link->exchange(F::kDelete, F::deletion(F::kImage, 4)).status, quint8(0));
        QVERIFY(F::listing(*link, F::kReadGifs).isEmpty());
    }

    void incompleteFrameTimesOut()
    {
        QVERIFY(f.start({"--frame-timeout-ms", "80"}));
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
        QCOMPARE(answer.id, F::kPing);
        QCOMPARE(answer.status, quint8(0));
        QVERIFY(link->readUntilSilence(150).isEmpty());
    }

    void closedHostLosesWhatItDidNotRead()
    {
        QVERIFY(f.start({"--latency-ms", "100"}));
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
            QVERIFY(answer.complete && answer.crcOk && answer.status == 0);
            ids << answer.id;
        }
        QCOMPARE(ids, (QVector<quint8>{F::kPing, F::kReadMac, F::kPing}));

        // A transfer whose frames arrive cut at every kind of place, a part's end
        // sharing a write with the next part's start: the bytes land as sent.
        const QByteArray image = F::pattern(150, 3);
        QByteArray stream = TestFrames::request(F::kTransfer, F::imageHeader(77, 150));
        for (int at = 0; at < image.size(); at += 48)
            stream += TestFrames::request(F::kNextPart, image.mid(at, 48));
        int from = 0;
        for (const int cut : {1, 3, 4, 5, 20, 21, 60, 61, 100, 150, 151, 200, int(stream.size())}) {
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
        QCOMPARE(f.item("77").value("sha256").toString(), F::sha256(image));
    }
};

QTEST_GUILESS_MAIN(TestDevsimRpc)
#include "tst_devsim_rpc.moc"
