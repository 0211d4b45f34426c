// Framing, CRC, answer judging, error tables and continuation parts.
#include "ReferenceCrc.h"

#include "EndTransferCommand.h"
#include "NextPartRPCCommand.h"
#include "PingRPCCommand.h"
#include "ReadLogRPCCommand.h"
#include "ReadNameRPCCommand.h"
#include "RPCCommand.h"
#include "TransferRPCCommand.h"
#include "WordCrc32.h"

#include <QRandomGenerator>
#include <QtTest>

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void crcKnownValues();
    void crcMatchesReference();
    void rpcAnswerJudging_data();
    void rpcAnswerJudging();
    void rpcAnswerShortDeclaredLength();
    void rpcCompleteness();
    void plainExchange_data();
    void plainExchange();
    void plainRequestIsUnframed();
    void logTextShowsSignedStatus();
    void continuationFailureExplainsParent();
    void uploadPartIsNotAContinuation();
};

void TestFrames::crcKnownValues()
{
    // The reference itself must be CRC-32/MPEG-2 (check value of "123456789").
    QCOMPARE(referenceMpeg2("123456789"), 0x0376E6E7u);
    QCOMPARE(WordCrc32::compute(QByteArray()), 0xFFFFFFFFu);
    QCOMPARE(WordCrc32::compute(QByteArray::fromHex("07000004")), 0xA5B6C17Bu);
    QCOMPARE(PingRPCCommand().request(), QByteArray::fromHex("070000047BC1B6A5"));
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

void TestFrames::rpcAnswerJudging_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    QTest::newRow("done") << answerFrame(9, 0, "Lobby") << 0 << QString();
    QTest::newRow("more to follow") << answerFrame(9, 5, "Lob") << 5 << QString();
    QTest::newRow("other command's id") << answerFrame(6, 0, "Lobby") << -1
                                        << QStringLiteral("Unknown error");
    QTest::newRow("crc") << answerFrame(9, 3, {}) << 3
                         << QStringLiteral("CRC does't pass validation");
    QTest::newRow("busy") << answerFrame(9, 7, {}) << 7 << QStringLiteral("Unknown error");
    QTest::newRow("status 9") << answerFrame(9, 9, {}) << 9 << QStringLiteral("Unknown error");
    QTest::newRow("status 6 short") << QByteArray::fromHex("07090600") << 6
                                    << QStringLiteral("There are no free space on device");
    QTest::newRow("status 9 short") << QByteArray::fromHex("07090900") << 9
                                    << QStringLiteral("Device response is to short");
    QTest::newRow("negative status") << answerFrame(9, -3, {}) << -3
                                     << QStringLiteral("Unknown error");
    QTest::newRow("empty") << QByteArray() << -1 << QStringLiteral("Device response is to short");
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
    // A fragment without a header adds nothing.
    command.appendPart(QByteArray::fromHex("0705"));
    QCOMPARE(command.payload(), QByteArray("first\0", 6));
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

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_protocol_frames.moc"
