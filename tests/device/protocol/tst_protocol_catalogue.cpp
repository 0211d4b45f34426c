// Every command of the device's RPC dialect: identifier, name, request, answer
// decoding and result key; and the identifier conversions.
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
#include "TransferRPCCommand.h"

#include <QtTest>

#include <functional>
#include <memory>

using Factory = std::function<BaseCommand *()>;
Q_DECLARE_METATYPE(Factory)

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void texts();
    void byteValues();
    void brightnessActivityLine();
    void openDfuAnswerIsJudged();
    void idToBytesConversion();
    void bytesToIdsConversion();
};

namespace {
const QByteArray kId = QByteArray::fromHex("2A00000000000000");
const QByteArray kOther = QByteArray::fromHex("0101000000000000");
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
}

void TestCatalogue::byteValues()
{
    ReadBatteryRPCCommand battery;
    battery.processResponse(answerFrame(32, 0, QByteArray(1, char(0xC8))));
    QCOMPARE(battery.result(), QVariant(200));
    ReadBrightnessRPCCommand brightness;
    brightness.processResponse(answerFrame(20, 0, QByteArray(1, char(0xC8))));
    QCOMPARE(brightness.result(), QVariant(-56));
    // Without a payload there is no value at all.
    ReadBatteryRPCCommand empty;
    empty.processResponse(answerFrame(32, 0, {}));
    QVERIFY(empty.isSuccess());
    QVERIFY(!empty.result().isValid());
}

void TestCatalogue::brightnessActivityLine()
{
    SetBrightnessRPCCommand set(75);
    QCOMPARE(set.message(QStringLiteral("dd:ee:ff:01:02:03")).text(),
             QStringLiteral("Changed device dd:ee:ff:01:02:03 brightnes to 75%"));
    QVERIFY(SetDimLevelRPCCommand(75).message(QStringLiteral("m")).text().isEmpty());
}

void TestCatalogue::openDfuAnswerIsJudged()
{
    // Silence is success (shown against the simulator); an answer that does come
    // is judged like any other.
    OpenDfuRPCCommand dfu;
    QVERIFY(!dfu.isComplete(QByteArray::fromHex("071F")));
    dfu.processResponse(answerFrame(31, 2, {}));
    QCOMPARE(dfu.statusCode(), 2);
    QVERIFY(!dfu.isSuccess());
    dfu.processResponse(answerFrame(31, 0, {}));
    QVERIFY(dfu.isSuccess());
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
