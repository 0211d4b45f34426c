// The simulated device through its real pseudo-terminal: the RPC dialect
// against the byte vectors and status codes of the device contract, the
// console screens read with the application's patterns, its port files and
// its clean stops.
#include "DevsimFixture.h"

#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QtTest>

#include <csignal>

using F = DevsimFixture;
using TestFrames::le16;
using TestFrames::le32;
using TestFrames::le64;

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

class TestDevsimDevice : public QObject
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
        QTest::newRow("plant") << int(F::kReadPlant) << QByteArray("PL-7\0", 5);
        QTest::newRow("device serial") << int(F::kReadSerial) << QByteArray("TD2400001\0", 10);
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
        QTest::newRow("brightness above 100") << request(F::kSetBrightness, QByteArray(1, char(101))) << 2;
        QTest::newRow("next part, nothing open") << request(F::kNextPart, {}) << 2;
        QTest::newRow("delete of an unknown item") << request(F::kDelete, F::deletion(F::kImage, 42)) << 2;
        QTest::newRow("delete without a type") << request(F::kDelete, le64(42)) << 2;
        QTest::newRow("activate an unknown item") << request(F::kActivate, le64(42)) << 2;
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
        QCOMPARE(item.value("complete").toBool(), true);
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
        QVERIFY(f.start());
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
        QCOMPARE(item.value("sha256").toString(), F::sha256(frames[0] + frames[1] + frames[2]));
        QCOMPARE(item.value("durations").toArray(), (QJsonArray{8, 7, 0}));
        QCOMPARE(item.value("frameSha256").toArray().at(1).toString(), F::sha256(frames[1]));
        // The GIF is complete: a fourth frame is refused as already stored.
        QCOMPARE(link->exchange(F::kTransfer, F::imageHeader(gif, 5)).status, quint8(1));
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
        QCOMPARE(item.value("interval").toInt(), 5);
        QCOMPARE(item.value("images").toArray().at(12).toString(), QStringLiteral("1013"));
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
        QCOMPARE(link->exchange(F::kErase).status, quint8(7));
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

    void consoleMenu()
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

    void consoleConfigDump()
    {
        QVERIFY(f.start({"--mac", "C4:4F:33:01:02:0F"}));
        QVERIFY(f.sim->ok("set TAMOSIM0001 name Lobby  12"));
        auto link = f.link();
        const QStringList pieces = choose(*link, kDumpItem).split(QStringLiteral("\r\n\t"));
        QVERIFY(pieces.size() >= 3);
        QCOMPARE(capture(kMacLine, pieces), QStringLiteral("0xC4 0x4F 0x33 0x1 0x2 0xF"));
        QCOMPARE(capture(kNameLine, pieces).simplified(), QStringLiteral("Lobby 12"));
        // A device may be made to report another's MAC.
        QVERIFY(f.sim->ok("set TAMOSIM0001 mac C4:4F:33:01:02:1E"));
        QCOMPARE(capture(kMacLine, choose(*link, kDumpItem).split(QStringLiteral("\r\n\t"))),
                 QStringLiteral("0xC4 0x4F 0x33 0x1 0x2 0x1E"));
    }

    void consoleVersionScreen_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("release") << QStringLiteral("1.5.90");
        QTest::newRow("candidate") << QStringLiteral("1.5.100-rc1");
    }
    void consoleVersionScreen()
    {
        QFETCH(QString, version);
        QVERIFY(f.start({"--fw", version}));
        auto link = f.link();
        QCOMPARE(capture(kVersionLine, choose(*link, kVersionItem).split(QStringLiteral("\r\n"))), version);
    }

    void portFilesDescribeEachDevice()
    {
        QVERIFY(f.start({"--count", "3"}));
        QSet<QString> ports, macs;
        for (const QString serial : {"TAMOSIM0001", "TAMOSIM0002", "TAMOSIM0003"}) {
            const QJsonObject facts = f.sim->portFile(serial);
            QCOMPARE(facts.value("serialNumber").toString(), serial);
            QCOMPARE(facts.value("vendorId").toInt(), 1155);
            QCOMPARE(facts.value("productId").toInt(), 22336);
            ports << facts.value("port").toString();
            macs << QString::fromLatin1(f.link(serial)->exchange(F::kReadMac).payload.toHex());
        }
        QCOMPARE(ports.size(), 3);
        QCOMPARE(macs.size(), 3);
    }

    void stopsCleanly_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("SIGTERM") << "SIGTERM";
        QTest::newRow("SIGINT") << "SIGINT";
        QTest::newRow("quit") << "quit";
        QTest::newRow("end of input") << "end of input";
    }
    void stopsCleanly()
    {
        QFETCH(QString, how);
        QVERIFY(f.start({"--count", "2", "--dfu-delay-ms", "0"}));
        QVERIFY(f.sim->ok("dfu TAMOSIM0002"));
        QVERIFY(QFile::exists(f.dir->filePath("TAMOSIM0002.dfu")));
        auto link = f.link();
        if (how == QLatin1String("quit"))
            QCOMPARE(f.sim->command("quit"), QStringLiteral("ok quit"));
        else if (how == QLatin1String("end of input"))
            f.sim->process().closeWriteChannel();
        else
            ::kill(static_cast<pid_t>(f.sim->process().processId()), how == QLatin1String("SIGINT") ? SIGINT : SIGTERM);
        QVERIFY(f.sim->process().waitForFinished(5000));
        QCOMPARE(f.sim->stop(), 0);
        // Port and boot-loader files go; the snapshots stay, saying so.
        QCOMPARE(QDir(f.dir->path()).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name),
                 (QStringList{"TAMOSIM0001.json", "TAMOSIM0002.json"}));
        QCOMPARE(f.snapshot().value("state").toString(), QStringLiteral("stopped"));
        link->readUntilSilence(50);
        QVERIFY(link->hungUp());
    }
};

QTEST_GUILESS_MAIN(TestDevsimDevice)
#include "tst_devsim_device.moc"
