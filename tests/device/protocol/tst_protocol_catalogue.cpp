// Every command of the device's RPC dialect: identifier, name, request, answer
// decoding, result key and timings; and the identifier conversions.
#include "ReferenceCrc.h"

#include "ActivateCommand.h"
#include "CancelUploadRPCCommand.h"
#include "CleanUpRPCCommand.h"
#include "ContentIds.h"
#include "DeleteRPCCommand.h"
#include "EraseContentRPCCommand.h"
#include "FreeSlotsRPCCommand.h"
#include "NextPartRPCCommand.h"
#include "OpenDfuRPCCommand.h"
#include "PingRPCCommand.h"
#include "ReadBatteryRPCCommand.h"
#include "ReadBoardIdRPCCommand.h"
#include "ReadBrightnessRPCCommand.h"
#include "ReadDeviceSerialRPCCommand.h"
#include "ReadDimLevelRPCCommand.h"
#include "ReadFwVersionRPCCommand.h"
#include "ReadGifsRPCCommand.h"
#include "ReadImagesRPCCommand.h"
#include "ReadLogRPCCommand.h"
#include "ReadMacAddressRPCCommand.h"
#include "ReadNameRPCCommand.h"
#include "ReadPlantNumberRPCCommand.h"
#include "ReadSlideshowImagesRPCCommand.h"
#include "ReadSlideshowRPCCommand.h"
#include "SetBrightnessRPCCommand.h"
#include "SetChargingDisplayRPCCommand.h"
#include "SetDimLevelRPCCommand.h"
#include "Timings.h"
#include "TransferRPCCommand.h"

#include <QtTest>

#include <functional>
#include <memory>
#include <tuple>

using Factory = std::function<BaseCommand *()>;
Q_DECLARE_METATYPE(Factory)

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void commands_data();
    void commands();
    void timingsComeFromTheTable();
    void idLists();
    void macAddress();
    void texts();
    void byteValues();
    void logLines();
    void brightnessActivityLine();
    void openDfuSilenceIsSuccess();
    void eraseAlwaysSucceeds();
    void idToBytesConversion();
    void bytesToIdsConversion();
};

namespace {
const QByteArray kId = QByteArray::fromHex("2A00000000000000");
const QByteArray kOther = QByteArray::fromHex("0101000000000000");
}

void TestCatalogue::cleanup()
{
    Timings::restoreDefaults();
}

void TestCatalogue::commands_data()
{
    QTest::addColumn<Factory>("make");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("key");

    auto row = [](const char *name, Factory make, int id, QByteArray payload, int key) {
        QTest::newRow(name) << make << id << QString::fromLatin1(name) << payload << key;
    };
    row("PingRPCCommand", [] { return new PingRPCCommand; }, 0, {}, 0);
    row("ReadImagesRPCCommand", [] { return new ReadImagesRPCCommand; }, 1, {}, 1);
    row("ReadGifsRPCCommand", [] { return new ReadGifsRPCCommand; }, 2, {}, 2);
    row("ReadSlideshowRPCCommand", [] { return new ReadSlideshowRPCCommand; }, 3, {}, 3);
    row("ReadSlideshowImagesRPCCommand", [] { return new ReadSlideshowImagesRPCCommand; }, 4, {},
        4);
    row("ReadMacAddressRPCCommand", [] { return new ReadMacAddressRPCCommand; }, 6, {}, 7);
    row("ActivateCommand", [] { return new ActivateCommand(kId); }, 8, kId, 0);
    row("ReadNameRPCCommand", [] { return new ReadNameRPCCommand; }, 9, {}, 8);
    row("ReadFwVersionRPCCommand", [] { return new ReadFwVersionRPCCommand; }, 10, {}, 9);
    row("ReadLogRPCCommand", [] { return new ReadLogRPCCommand; }, 12, {}, 14);
    row("ReadBoardIdRPCCommand", [] { return new ReadBoardIdRPCCommand; }, 14, {}, 11);
    row("ReadDeviceSerialRPCCommand", [] { return new ReadDeviceSerialRPCCommand; }, 15, {}, 12);
    row("ReadPlantNumberRPCCommand", [] { return new ReadPlantNumberRPCCommand; }, 16, {}, 13);
    row("SetChargingDisplayRPCCommand",
        [] { return new SetChargingDisplayRPCCommand(kId, kOther); }, 19, kId + kOther, 0);
    row("ReadBrightnessRPCCommand", [] { return new ReadBrightnessRPCCommand; }, 20, {}, 15);
    row("SetBrightnessRPCCommand", [] { return new SetBrightnessRPCCommand(80); }, 21,
        QByteArray(1, char(80)), 0);
    row("ReadDimLevelRPCCommand", [] { return new ReadDimLevelRPCCommand; }, 24, {}, 17);
    row("SetDimLevelRPCCommand", [] { return new SetDimLevelRPCCommand(200); }, 25,
        QByteArray(1, char(200)), 0);
    row("OpenDfuRPCCommand", [] { return new OpenDfuRPCCommand; }, 31, {}, 0);
    row("ReadBatteryRPCCommand", [] { return new ReadBatteryRPCCommand; }, 32, {}, 16);
    // Content transfer and slot commands.
    row("TransferRPCCommand",
        [] { return new TransferRPCCommand(TransferRPCCommand::imageHeader(kId, 100), 6, kId); },
        30, kId + QByteArray::fromHex("6400000001"), 6);
    row("NextPartRPCCommand", [] { return new NextPartRPCCommand("abc", true); }, 5, "abc", 0);
    row("DeleteRPCCommand", [] { return new DeleteRPCCommand(3, kId); }, 7,
        QByteArray(1, '\3') + kId, 0);
    row("FreeSlotsRPCCommand", [] { return new FreeSlotsRPCCommand; }, 11, {}, 10);
    row("EraseContentRPCCommand", [] { return new EraseContentRPCCommand; }, 13, {}, 0);
    row("CleanUpRPCCommand", [] { return new CleanUpRPCCommand; }, 17, {}, 0);
    row("CancelUploadRPCCommand", [] { return new CancelUploadRPCCommand; }, 18, {}, 0);
}

void TestCatalogue::commands()
{
    QFETCH(Factory, make);
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QByteArray, payload);
    QFETCH(int, key);
    std::unique_ptr<BaseCommand> command(make());
    QCOMPARE(int(command->commandId()), id);
    QCOMPARE(command->name(), name);
    QCOMPARE(command->requestPayload(), payload);
    QCOMPARE(command->request().toHex(' '), referenceFrame(quint8(id), payload).toHex(' '));
    QCOMPARE(command->resultKey(), key);
}

void TestCatalogue::timingsComeFromTheTable()
{
    // Each command reads its own entries at each call, so that tests can shrink them.
    const QVector<Timings::Id> entries = {Timings::CommandWait, Timings::PingDelay, Timings::ReadLogDelay,
                                             Timings::OpenDfuWait, Timings::OpenDfuDelay, Timings::DeleteWait,
                                             Timings::CleanUpWait, Timings::EraseWait};
    for (int i = 0; i < entries.size(); ++i)
        Timings::set(entries.at(i), 11 + i);
    const QVector<std::tuple<Factory, int, int>> expected = {
        {[] { return new ReadNameRPCCommand; }, 11, 0},       {[] { return new PingRPCCommand; }, 11, 12},
        {[] { return new ReadLogRPCCommand; }, 11, 13},       {[] { return new OpenDfuRPCCommand; }, 14, 15},
        {[] { return new DeleteRPCCommand(1, kId); }, 16, 0}, {[] { return new CleanUpRPCCommand; }, 17, 0},
        {[] { return new EraseContentRPCCommand; }, 18, 0},   {[] { return new TransferRPCCommand(kId); }, 11, 0},
    };
    for (const auto &[make, timeout, delay] : expected) {
        std::unique_ptr<BaseCommand> command(make());
        QCOMPARE(command->timeoutMs(), timeout);
        QCOMPARE(command->delayMs(), delay);
    }
}

void TestCatalogue::idLists()
{
    ReadImagesRPCCommand images;
    images.processResponse(
        answerFrame(1, 0, QByteArray::fromHex("2A000000000000000101000000000000")));
    QCOMPARE(images.result().toStringList(), QStringList({"42", "257"}));

    // The last identifier may be shorter than 8 bytes.
    ReadSlideshowRPCCommand shows;
    shows.processResponse(answerFrame(3, 0, QByteArray::fromHex("FFFFFFFFFFFFFFFF01020304")));
    QCOMPARE(shows.result().toStringList(),
             QStringList({"18446744073709551615", QString::number(0x04030201)}));

    ReadGifsRPCCommand none;
    none.processResponse(answerFrame(2, 0, {}));
    QVERIFY(none.isSuccess());
    QVERIFY(none.result().toStringList().isEmpty());
}

void TestCatalogue::macAddress()
{
    ReadMacAddressRPCCommand mac;
    mac.processResponse(answerFrame(6, 0, QByteArray::fromHex("030201FFEEDD")));
    QCOMPARE(mac.result().toString(), QStringLiteral("dd:ee:ff:01:02:03"));
    QCOMPARE(mac.result().type(), QVariant::String);
}

void TestCatalogue::texts()
{
    ReadNameRPCCommand name;
    name.processResponse(answerFrame(9, 0, QByteArray("Lobby\0xyz", 9)));
    QCOMPARE(name.result().toString(), QStringLiteral("Lobby"));

    ReadNameRPCCommand utf8;
    utf8.processResponse(answerFrame(9, 0, QStringLiteral("Caf\u00e9").toUtf8()));
    QCOMPARE(utf8.result().toString(), QStringLiteral("Caf\u00e9"));

    // The firmware version is Latin-1: byte E9 stays one character.
    ReadFwVersionRPCCommand version;
    version.processResponse(answerFrame(10, 0, QByteArray("1.5.90\xe9\0junk", 12)));
    QCOMPARE(version.result().toString(), QStringLiteral("1.5.90\u00e9"));

    ReadBoardIdRPCCommand board;
    board.processResponse(answerFrame(14, 0, "B-7"));
    QCOMPARE(board.result().toString(), QStringLiteral("B-7"));
    ReadDeviceSerialRPCCommand serial;
    serial.processResponse(answerFrame(15, 0, QByteArray("SN01\0", 5)));
    QCOMPARE(serial.result().toString(), QStringLiteral("SN01"));
    ReadPlantNumberRPCCommand plant;
    plant.processResponse(answerFrame(16, 0, "P3"));
    QCOMPARE(plant.result().toString(), QStringLiteral("P3"));
}

void TestCatalogue::byteValues()
{
    ReadBatteryRPCCommand battery;
    battery.processResponse(answerFrame(32, 0, QByteArray(1, char(0xC8))));
    QCOMPARE(battery.result(), QVariant(200));
    ReadBrightnessRPCCommand brightness;
    brightness.processResponse(answerFrame(20, 0, QByteArray(1, char(0xC8))));
    QCOMPARE(brightness.result(), QVariant(-56));
    ReadDimLevelRPCCommand dim;
    dim.processResponse(answerFrame(24, 0, QByteArray::fromHex("1E00")));
    QCOMPARE(dim.result(), QVariant(30));
    FreeSlotsRPCCommand freeSlots;
    freeSlots.processResponse(answerFrame(11, 0, QByteArray(1, char(112))));
    QCOMPARE(freeSlots.result(), QVariant(112));
    // Without a payload there is no value at all.
    ReadBatteryRPCCommand empty;
    empty.processResponse(answerFrame(32, 0, {}));
    QVERIFY(empty.isSuccess());
    QVERIFY(!empty.result().isValid());
}

void TestCatalogue::logLines()
{
    ReadLogRPCCommand log;
    log.processResponse(answerFrame(12, 0, QByteArray("a\0b\0", 4)));
    QCOMPARE(log.result().toStringList(), QStringList({"a", "b", ""}));
}

void TestCatalogue::brightnessActivityLine()
{
    SetBrightnessRPCCommand set(75);
    QCOMPARE(set.message(QStringLiteral("dd:ee:ff:01:02:03")),
             QStringLiteral("Changed device dd:ee:ff:01:02:03 brightnes to 75%"));
    QVERIFY(SetDimLevelRPCCommand(75).message(QStringLiteral("m")).isEmpty());
}

void TestCatalogue::openDfuSilenceIsSuccess()
{
    OpenDfuRPCCommand dfu;
    QVERIFY(dfu.isComplete(QByteArray()));
    dfu.processResponse(QByteArray());
    QCOMPARE(dfu.statusCode(), 0);
    QVERIFY(dfu.isSuccess());
    QVERIFY(dfu.errorString().isEmpty());
    // An answer that does come is judged like any other.
    QVERIFY(!dfu.isComplete(QByteArray::fromHex("071F")));
    dfu.processResponse(answerFrame(31, 2, {}));
    QCOMPARE(dfu.statusCode(), 2);
    QVERIFY(!dfu.isSuccess());
    dfu.processResponse(answerFrame(31, 0, {}));
    QVERIFY(dfu.isSuccess());
}

void TestCatalogue::eraseAlwaysSucceeds()
{
    EraseContentRPCCommand erase;
    QVERIFY(erase.isSuccess());
    erase.processResponse(answerFrame(13, 7, {}));
    QVERIFY(erase.isBusy());
    QVERIFY(erase.isSuccess());
    erase.processResponse(answerFrame(0, 0, {})); // a ping's answer after polling
    QCOMPARE(erase.statusCode(), -1);
    QVERIFY(erase.isSuccess());
}

void TestCatalogue::idToBytesConversion()
{
    QCOMPARE(idToBytes(QStringLiteral("42")), kId);
    QCOMPARE(idToBytes(QStringLiteral("257")), kOther);
    QCOMPARE(idToBytes(QStringLiteral("18446744073709551615")), QByteArray(8, char(0xFF)));
    QCOMPARE(idToBytes(QStringLiteral("1311768467294899695")),
             QByteArray::fromHex("EFCDAB9078563412"));
    const QByteArray zero(8, '\0');
    QCOMPARE(idToBytes(QString()), zero);
    QCOMPARE(idToBytes(QStringLiteral("abc")), zero);
    QCOMPARE(idToBytes(QStringLiteral("-1")), zero);
    QCOMPARE(idToBytes(QStringLiteral("18446744073709551616")), zero); // one too many
}

void TestCatalogue::bytesToIdsConversion()
{
    QCOMPARE(bytesToIds(QByteArray()), QStringList());
    QCOMPARE(bytesToIds(QByteArray(8, '\0')), QStringList({"0"}));
    QCOMPARE(bytesToIds(QByteArray::fromHex("01")), QStringList({"1"}));
    const QStringList ids = {"1311768467294899695", "42", "9007199254740993"};
    QByteArray wire;
    for (const QString &id : ids)
        wire += idToBytes(id);
    QCOMPARE(bytesToIds(wire), ids);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_protocol_catalogue.moc"
