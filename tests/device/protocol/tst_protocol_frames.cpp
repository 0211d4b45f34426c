// Framing, CRC, answer judging, error tables and multi-part accumulation.
#include "ReferenceCrc.h"

#include "EndTransferCommand.h"
#include "NextPartRPCCommand.h"
#include "PingRPCCommand.h"
#include "ReadBatteryRPCCommand.h"
#include "ReadImagesRPCCommand.h"
#include "ReadLogRPCCommand.h"
#include "ReadMacAddressRPCCommand.h"
#include "ReadNameRPCCommand.h"
#include "RPCCommand.h"
#include "TransferRPCCommand.h"
#include "WordCrc32.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QtTest>

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void crcKnownValues();
    void crcMatchesReference();
    void requestVectors_data();
    void requestVectors();
    void requestLengthByteCountsPayload();
    void rpcAnswerAcceptedAndRejected();
    void rpcAnswerJudging_data();
    void rpcAnswerJudging();
    void rpcAnswerShortDeclaredLength();
    void rpcCompleteness();
    void plainExchange_data();
    void plainExchange();
    void plainRequestIsUnframed();
    void logTextShowsSignedStatus();
    void multiPartAccumulation();
    void continuationFailureExplainsParent();
    void uploadPartIsNotAContinuation();
    void autoDeleteOnFinished();
};

void TestFrames::crcKnownValues()
{
    // The reference itself must be CRC-32/MPEG-2 (check value of "123456789").
    QCOMPARE(referenceMpeg2("123456789"), 0x0376E6E7u);
    QCOMPARE(WordCrc32::compute(QByteArray()), 0xFFFFFFFFu);
    QCOMPARE(WordCrc32::compute(QByteArray::fromHex("07000004")), 0xA5B6C17Bu);
    // A partial word is padded with zero bytes.
    QCOMPARE(WordCrc32::compute(QByteArray::fromHex("0700")),
             WordCrc32::compute(QByteArray::fromHex("07000000")));
}

void TestFrames::crcMatchesReference()
{
    QRandomGenerator random(20240607);
    for (int length = 0; length <= 140; ++length) {
        QByteArray data(length, '\0');
        for (char &c : data)
            c = char(random.bounded(256));
        QCOMPARE(WordCrc32::compute(data), referenceWordCrc(data));
    }
}

void TestFrames::requestVectors_data()
{
    QTest::addColumn<QByteArray>("actual");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ping") << PingRPCCommand().request() << QByteArray::fromHex("070000047BC1B6A5");
    QTest::newRow("mac") << ReadMacAddressRPCCommand().request()
                         << QByteArray::fromHex("07060004DD7E6040");
    QTest::newRow("battery") << ReadBatteryRPCCommand().request()
                             << QByteArray::fromHex("072000045DF71585");
}

void TestFrames::requestVectors()
{
    QFETCH(QByteArray, actual);
    QFETCH(QByteArray, expected);
    QCOMPARE(actual.toHex(' '), expected.toHex(' '));
}

void TestFrames::requestLengthByteCountsPayload()
{
    // A full 48-byte content part: 56 bytes on the wire, byte 3 = 52.
    const QByteArray content(48, '\x5A');
    const QByteArray request = NextPartRPCCommand(content, true).request();
    QCOMPARE(request.size(), 56);
    QCOMPARE(quint8(request.at(3)), quint8(52));
    QCOMPARE(request, referenceFrame(5, content));
    // The frame helper truncates the length byte for oversize payloads.
    QCOMPARE(quint8(RPCCommand::frame(1, QByteArray(252, 'x')).at(3)), quint8(0));
}

void TestFrames::rpcAnswerAcceptedAndRejected()
{
    const QByteArray macBytes = QByteArray::fromHex("030201FFEEDD");
    QByteArray answer = QByteArray::fromHex("0706000A") + macBytes + QByteArray::fromHex("11223344");
    QCOMPARE(answer.size(), 14);

    ReadMacAddressRPCCommand accepted;
    QVERIFY(accepted.isComplete(answer));
    accepted.processResponse(answer);
    QCOMPARE(accepted.statusCode(), 0);
    QVERIFY(accepted.isSuccess());
    QCOMPARE(accepted.payload(), macBytes);
    QCOMPARE(accepted.result().toString(), QStringLiteral("dd:ee:ff:01:02:03"));
    QCOMPARE(accepted.lastResponse(), answer);
    QVERIFY(accepted.errorString().isEmpty());

    answer[3] = 0x0B;
    ReadMacAddressRPCCommand rejected;
    QVERIFY(!rejected.isComplete(answer));
    rejected.processResponse(answer);
    QCOMPARE(rejected.statusCode(), -1);
    QVERIFY(!rejected.isSuccess());
    QVERIFY(!rejected.result().isValid());
    QCOMPARE(rejected.lastResponse(), answer);
}

void TestFrames::rpcAnswerJudging_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    QTest::newRow("done") << answerFrame(9, 0, "Lobby") << 0 << QString();
    QTest::newRow("more to follow") << answerFrame(9, 5, "Lob") << 5 << QString();
    QTest::newRow("other command's id") << answerFrame(6, 0, "Lobby") << -1
                                        << QStringLiteral("Unknown error");
    QTest::newRow("already uploaded") << answerFrame(9, 1, {}) << 1
                                      << QStringLiteral("File already uploaded to device");
    QTest::newRow("bad parameter") << answerFrame(9, 2, {}) << 2
                                   << QStringLiteral("Invalid request parameter");
    QTest::newRow("crc") << answerFrame(9, 3, {}) << 3
                         << QStringLiteral("CRC does't pass validation");
    QTest::newRow("unknown") << answerFrame(9, 4, {}) << 4 << QStringLiteral("Unknown error");
    QTest::newRow("no space") << answerFrame(9, 6, {}) << 6
                              << QStringLiteral("There are no free space on device");
    QTest::newRow("busy") << answerFrame(9, 7, {}) << 7 << QStringLiteral("Unknown error");
    QTest::newRow("status 9") << answerFrame(9, 9, {}) << 9 << QStringLiteral("Unknown error");
    QTest::newRow("status 9 short") << QByteArray::fromHex("07090900") << 9
                                    << QStringLiteral("Device response is to short");
    QTest::newRow("negative status") << answerFrame(9, -3, {}) << -3
                                     << QStringLiteral("Unknown error");
    QTest::newRow("empty") << QByteArray() << -1 << QStringLiteral("Device response is to short");
    QTest::newRow("three bytes") << QByteArray::fromHex("070900") << -1
                                 << QStringLiteral("Device response is to short");
    QTest::newRow("truncated") << answerFrame(9, 0, "Lobby").left(10) << -1
                               << QStringLiteral("Unknown error");
    QTest::newRow("trailing garbage") << answerFrame(9, 0, "Lobby") + "x" << -1
                                      << QStringLiteral("Unknown error");
}

void TestFrames::rpcAnswerJudging()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, error);
    ReadNameRPCCommand command;
    command.processResponse(answer);
    QCOMPARE(command.statusCode(), status);
    QCOMPARE(command.errorString(), error);
    QCOMPARE(command.isBusy(), status == 7);
    QCOMPARE(command.hasNextPart(), status == 5);
    QCOMPARE(command.isSuccess(), status == 0);
    // A payload is decoded for statuses 0 and 5 only.
    QCOMPARE(command.result().isValid(), status == 0 || status == 5);
}

void TestFrames::rpcAnswerShortDeclaredLength()
{
    // Byte 3 below 4 with a matching length: a valid frame without payload. The
    // trailer must not be taken for payload.
    const QByteArray answer = QByteArray::fromHex("07090002AABB");
    ReadNameRPCCommand command;
    command.processResponse(answer);
    QCOMPARE(command.statusCode(), 0);
    QVERIFY(command.payload().isEmpty());
    QCOMPARE(command.result().toString(), QString());

    // A status-6 answer shorter than 8 bytes still gets its table text.
    ReadNameRPCCommand full;
    full.processResponse(QByteArray::fromHex("07090600"));
    QCOMPARE(full.statusCode(), 6);
    QCOMPARE(full.errorString(), QStringLiteral("There are no free space on device"));
}

void TestFrames::rpcCompleteness()
{
    ReadNameRPCCommand command;
    const QByteArray answer = answerFrame(9, 0, QByteArray(123, 'n'));
    QCOMPARE(answer.size(), 131);
    for (int n = 0; n < answer.size(); ++n)
        QVERIFY2(!command.isComplete(answer.left(n)), qPrintable(QString::number(n)));
    QVERIFY(command.isComplete(answer));
    QVERIFY(!command.isComplete(answer + "x"));
    // A length byte read as negative never completes.
    QVERIFY(!command.isComplete(QByteArray::fromHex("07090080") + QByteArray(124, 'x')));
    command.processResponse(answer);
    QCOMPARE(command.statusCode(), 0);
    QCOMPARE(command.result().toString(), QString(123, QLatin1Char('n')));
}

void TestFrames::plainExchange_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("done") << QByteArray::fromHex("05FF00") << 0 << QString();
    QTest::newRow("wrong id") << QByteArray::fromHex("060000") << -1 << QString();
    QTest::newRow("short") << QByteArray::fromHex("0500") << -1
                           << QStringLiteral("Device response is to short");
    QTest::newRow("long although valid") << QByteArray::fromHex("05000000") << -1
                                         << QStringLiteral("Device response is to long");
    QTest::newRow("status 2") << QByteArray::fromHex("050002") << 2
                              << QStringLiteral("Image ID has already been downloaded to TAMO device");
    QTest::newRow("status 8 not in table") << QByteArray::fromHex("050008") << 8
                                           << QStringLiteral("Unknown error");
    QTest::newRow("status 15 not in table") << QByteArray::fromHex("05000F") << 15
                                            << QStringLiteral("Unknown error");
    QTest::newRow("status 16 crc") << QByteArray::fromHex("050010") << 16
                                   << QStringLiteral("CRC didn't match");
}

void TestFrames::plainExchange()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, error);
    EndTransferCommand command(TransferRPCCommand::ImageContent, QByteArray(8, '\1'));
    command.processResponse(answer);
    QCOMPARE(command.statusCode(), status);
    QCOMPARE(command.errorString(), error);
    QCOMPARE(command.isSuccess(), status == 0);
    QVERIFY(command.isComplete(answer) == (answer.size() >= 3));
}

void TestFrames::plainRequestIsUnframed()
{
    const QByteArray id = QByteArray::fromHex("0102030405060708");
    EndTransferCommand image(TransferRPCCommand::ImageContent, id);
    QCOMPARE(image.request(), QByteArray::fromHex("0501"));
    QCOMPARE(image.maxRetries(), 1); // a transfer's group is sent once more after a recovery
    QCOMPARE(image.resultKey(), 6);
    QCOMPARE(image.result().toByteArray(), id);
    EndTransferCommand gif(TransferRPCCommand::GifContent, id);
    QCOMPARE(gif.request(), QByteArray::fromHex("0503"));
    QCOMPARE(gif.resultKey(), 6);
    EndTransferCommand slideshow(TransferRPCCommand::SlideshowContent, id, 0x1234);
    QCOMPARE(slideshow.request(), QByteArray::fromHex("05023412"));
    QCOMPARE(slideshow.resultKey(), 5);
}

void TestFrames::logTextShowsSignedStatus()
{
    ReadNameRPCCommand command;
    command.processResponse(QByteArray());
    QCOMPARE(command.logText(),
             QStringLiteral("Command 'ReadNameRPCCommand' executed. Status code -1. Error: "
                            "Device response is to short"));
    command.processResponse(answerFrame(9, 0, "x"));
    QCOMPARE(command.logText(),
             QStringLiteral("Command 'ReadNameRPCCommand' executed. Status code 0. Error: "));
}

void TestFrames::multiPartAccumulation()
{
    // 20 identifiers = 160 bytes: parts of 120, 40 and an empty closing part.
    QByteArray all;
    QStringList expected;
    for (quint64 i = 1; i <= 20; ++i) {
        const quint64 value = i * 0x0101010101ull;
        QByteArray bytes(8, '\0');
        qToLittleEndian(value, bytes.data());
        all += bytes;
        expected << QString::number(value);
    }
    ReadImagesRPCCommand command;
    command.processResponse(answerFrame(1, 5, all.left(120)));
    QVERIFY(!command.isSuccess());
    QVERIFY(command.hasNextPart());
    QCOMPARE(command.result().toStringList(), expected.mid(0, 15));

    auto *next = qobject_cast<NextPartRPCCommand *>(command.nextPart());
    QVERIFY(next);
    QVERIFY(!next->isUploadMode());
    QCOMPARE(next->askingCommand(), &command);
    QCOMPARE(command.nextPart(), next); // reused for every part
    QCOMPARE(next->request(), referenceFrame(5, {}));

    next->processResponse(answerFrame(5, 5, all.mid(120, 40)));
    QVERIFY(next->hasNextPart());
    QVERIFY(!next->isSuccess());
    QCOMPARE(command.statusCode(), 5);
    QCOMPARE(command.payload(), all);

    next->processResponse(answerFrame(5, 0, {}));
    QVERIFY(next->isSuccess());
    QVERIFY(!next->hasNextPart());
    QCOMPARE(command.statusCode(), 0);
    QVERIFY(command.isSuccess());
    QCOMPARE(command.result().toStringList(), expected);

    // appendPart ignores fragments without a header.
    command.appendPart(QByteArray::fromHex("0705"));
    QCOMPARE(command.payload(), all);
}

void TestFrames::continuationFailureExplainsParent()
{
    ReadLogRPCCommand command;
    command.processResponse(answerFrame(12, 5, QByteArray("first\0", 6)));
    QVERIFY(command.hasNextPart());
    BaseCommand *next = command.nextPart();
    next->processResponse(answerFrame(5, 3, {}));
    QCOMPARE(command.statusCode(), 3);
    QCOMPARE(command.errorString(), QStringLiteral("CRC does't pass validation"));
    QVERIFY(!command.isSuccess());
    QVERIFY(!command.hasNextPart());

    ReadLogRPCCommand silent;
    silent.processResponse(answerFrame(12, 5, "x"));
    silent.nextPart()->processResponse(QByteArray());
    QCOMPARE(silent.statusCode(), -1);
    QCOMPARE(silent.errorString(), QStringLiteral("Device response is to short"));
}

void TestFrames::uploadPartIsNotAContinuation()
{
    NextPartRPCCommand part(QByteArray(4, 'p'), true);
    part.processResponse(answerFrame(5, 5, {}));
    QVERIFY(part.isSuccess());
    QVERIFY(!part.hasNextPart());
    part.processResponse(answerFrame(5, 0, {}));
    QVERIFY(part.isSuccess());
    part.processResponse(answerFrame(5, 2, {}));
    QVERIFY(!part.isSuccess());
    QCOMPARE(part.errorString(), QStringLiteral("Invalid request parameter"));

    TransferRPCCommand header(TransferRPCCommand::imageHeader(QByteArray(8, 'i'), 4));
    header.processResponse(answerFrame(30, 5, {}));
    QVERIFY(header.isSuccess());
    QVERIFY(!header.hasNextPart());
    header.processResponse(answerFrame(30, 1, {}));
    QVERIFY(!header.isSuccess());
    QCOMPARE(header.errorString(), QStringLiteral("File already uploaded to device"));
}

void TestFrames::autoDeleteOnFinished()
{
    QPointer<BaseCommand> kept = new PingRPCCommand;
    QPointer<BaseCommand> dropped = new PingRPCCommand;
    dropped->setAutoDelete(true);
    emit kept->finished(0);
    emit dropped->finished(0);
    QTRY_VERIFY(dropped.isNull());
    QVERIFY(!kept.isNull());
    delete kept.data();
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_protocol_frames.moc"
