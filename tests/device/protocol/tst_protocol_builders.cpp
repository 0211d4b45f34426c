// The job-list builders: order, groups, part sizes, headers, packing, duplicates.
#include "CommandLists.h"
#include "ContentIds.h"
#include "DeleteRPCCommand.h"
#include "NextPartRPCCommand.h"
#include "TransferCommandLists.h"
#include "TransferRPCCommand.h"

#include <QtTest>

class TestBuilders : public QObject
{
    Q_OBJECT

private slots:
    void imageTransfer_data();
    void imageTransfer();
    void emptyContentSendsNothing();
    void gifTransfer();
    void frameDurations_data();
    void frameDurations();
    void slideshowTransfer_data();
    void slideshowTransfer();
    void deleteOrderAndDuplicates();
};

namespace {

QStringList names(const CommandList &list)
{
    QStringList result;
    for (int i = 0; i < list.size(); ++i)
        result << list.at(i)->name();
    return result;
}

QList<int> groups(const CommandList &list)
{
    QList<int> result;
    for (int i = 0; i < list.size(); ++i)
        result << list.at(i)->groupPosition();
    return result;
}

QByteArray content(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

const QByteArray kGifId = idToBytes(QStringLiteral("1311768467294899695"));

} // namespace

void TestBuilders::imageTransfer_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("parts");
    QTest::newRow("100 bytes") << 100 << QList<int>({48, 48, 4});
    QTest::newRow("1 byte") << 1 << QList<int>({1});
    QTest::newRow("49 bytes") << 49 << QList<int>({48, 1});
    QTest::newRow("96 bytes") << 96 << QList<int>({48, 48});
    QTest::newRow("48 bytes") << 48 << QList<int>({48});
}

void TestBuilders::imageTransfer()
{
    QFETCH(int, size);
    QFETCH(QList<int>, parts);
    const QByteArray id = idToBytes(QStringLiteral("42"));
    const QByteArray data = content(size);
    const CommandList list = imageTransferCommands(id, data);
    QCOMPARE(list.size(), 1 + parts.size());

    auto *header = qobject_cast<TransferRPCCommand *>(list.at(0));
    QVERIFY(header);
    QByteArray expectedHeader = id;
    expectedHeader.append(char(size & 0xFF)).append(char(size >> 8)).append(2, '\0');
    expectedHeader.append(char(1));
    QCOMPARE(header->requestPayload().toHex(' '), expectedHeader.toHex(' '));
    QCOMPARE(header->requestPayload().size(), 13);
    QCOMPARE(header->resultKey(), 6);
    QCOMPARE(header->result().toByteArray(), id);
    QCOMPARE(header->groupPosition(), 0);

    QByteArray joined;
    for (int i = 0; i < parts.size(); ++i) {
        auto *part = qobject_cast<NextPartRPCCommand *>(list.at(i + 1));
        QVERIFY(part);
        QVERIFY(part->isUploadMode());
        QCOMPARE(part->requestPayload().size(), parts.at(i));
        QCOMPARE(part->request().size(), parts.at(i) + 8);
        QCOMPARE(part->resultKey(), 0);
        QCOMPARE(part->groupPosition(), i + 1 == parts.size() ? 1 : 2);
        joined += part->requestPayload();
    }
    QCOMPARE(joined, data);
}

void TestBuilders::emptyContentSendsNothing()
{
    QVERIFY(imageTransferCommands(idToBytes("1"), QByteArray()).isEmpty());
    QVERIFY(gifTransferCommands(kGifId, {}).isEmpty());
    QVERIFY(deleteCommands({}, {}, {}).isEmpty());

    // transferParts itself announces an empty frame; the header then closes its
    // own group.
    const CommandList bare = transferParts(QByteArray(), idToBytes("1"), 0);
    QCOMPARE(bare.size(), 1);
    QCOMPARE(bare.at(0)->groupPosition(), 1);
}

void TestBuilders::gifTransfer()
{
    const QVector<TransferFrame> frames = {{content(50), 75}, {content(10), 4}, {content(48), 1000}};
    const CommandList list = gifTransferCommands(kGifId, frames);
    QCOMPARE(names(list),
             QStringList({"TransferRPCCommand", "TransferRPCCommand", "NextPartRPCCommand",
                          "NextPartRPCCommand", "TransferRPCCommand", "NextPartRPCCommand",
                          "TransferRPCCommand", "NextPartRPCCommand"}));
    QCOMPARE(groups(list), QList<int>({2, 0, 2, 1, 0, 1, 0, 1}));

    // The container stands alone and reports nothing; each frame reports the GIF.
    QVERIFY(!list.at(0)->result().isValid());
    for (int i : {1, 4, 6})
        QCOMPARE(list.at(i)->result().toByteArray(), kGifId);
}

void TestBuilders::frameDurations_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("duration");
    QTest::newRow("75") << 75 << 8;
    QTest::newRow("74") << 74 << 7;
    QTest::newRow("4") << 4 << 0;
    QTest::newRow("5") << 5 << 1;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("negative") << -20 << 0;
    QTest::newRow("huge") << 10000000 << 65535;
}

void TestBuilders::frameDurations()
{
    QFETCH(int, delay);
    QFETCH(int, duration);
    QCOMPARE(int(TransferRPCCommand::frameDuration(delay)), duration);
}

void TestBuilders::slideshowTransfer_data()
{
    QTest::addColumn<int>("images");
    QTest::addColumn<QList<int>>("parts");
    QTest::newRow("6 images") << 6 << QList<int>({6});
    QTest::newRow("7 images") << 7 << QList<int>({6, 1});
    QTest::newRow("no images") << 0 << QList<int>();
}

void TestBuilders::slideshowTransfer()
{
    QFETCH(int, images);
    QFETCH(QList<int>, parts);
    const QByteArray id = idToBytes(QStringLiteral("777"));
    QList<QByteArray> imageIds;
    QByteArray allIds;
    for (int i = 0; i < images; ++i) {
        imageIds << idToBytes(QString::number(1000 + i));
        allIds += imageIds.last();
    }
    const CommandList list = slideshowTransferCommands(5000, id, imageIds);
    QCOMPARE(list.size(), 1 + parts.size());

    // Header: identifier, 2-byte image count, 2-byte interval, type 2.
    const QByteArray header = list.at(0)->requestPayload();
    QByteArray expected = id;
    expected.append(char(images)).append('\0').append(char(0x88)).append(char(0x13)).append('\2');
    QCOMPARE(header.toHex(' '), expected.toHex(' '));
    QCOMPARE(list.at(0)->resultKey(), 5);
    QCOMPARE(list.at(0)->result().toByteArray(), id);
    QCOMPARE(list.at(0)->groupPosition(), 0);

    QByteArray joined;
    for (int i = 0; i < parts.size(); ++i) {
        const BaseCommand *part = list.at(i + 1);
        QCOMPARE(part->requestPayload().size(), parts.at(i) * 8);
        // The group stays open: no part closes it.
        QCOMPARE(part->groupPosition(), 2);
        joined += part->requestPayload();
    }
    QCOMPARE(joined, allIds);
}

void TestBuilders::deleteOrderAndDuplicates()
{
    const CommandList list = deleteCommands({"1", "2", "1"}, {"30", "30"}, {"500", "600", "500"});
    QStringList sent;
    for (int i = 0; i < list.size(); ++i) {
        auto *del = qobject_cast<DeleteRPCCommand *>(list.at(i));
        QVERIFY(del);
        const QByteArray payload = del->requestPayload();
        QCOMPARE(payload.size(), 9);
        sent << QString::number(int(payload.at(0))) + QLatin1Char(':')
                    + bytesToIds(payload.mid(1)).value(0);
    }
    QCOMPARE(sent, QStringList({"2:500", "2:600", "3:30", "1:1", "1:2"}));

    const CommandList one = deleteCommands({"9"}, {"8"}, {"7"});
    QCOMPARE(one.first()->requestPayload().at(0), '\2');
    QCOMPARE(one.last()->requestPayload().at(0), '\1');
}

QTEST_GUILESS_MAIN(TestBuilders)
#include "tst_protocol_builders.moc"
