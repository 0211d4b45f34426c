// The device record: empty reads, copy-on-write, identity by serial number, and
// records crossing threads through queued signals.
#include "DeviceInfo.h"

#include <QDateTime>
#include <QThread>
#include <QtTest>

class Emitter : public QObject
{
    Q_OBJECT
signals:
    void one(DeviceInfo info);
    void many(QVector<DeviceInfo> infos);
    void status(DeviceInfo::CurrentStatus status);
};

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        DeviceInfo::registerMetaTypes();
        DeviceInfo::registerMetaTypes(); // harmless twice
    }

    void freshRecordIsEmpty()
    {
        const DeviceInfo info;
        QVERIFY(info.isEmpty());
        for (int key = -1; key <= 19; ++key)
            QVERIFY(!info.value(key).isValid());
        // No status written reads as Connected wherever it is read as a number.
        QCOMPARE(info.value(DeviceInfo::Status).toInt(), int(DeviceInfo::Connected));
    }

    void writingReplaces()
    {
        DeviceInfo info;
        info.setValue(DeviceInfo::Name, QStringLiteral("first"));
        info.setValue(DeviceInfo::Name, QStringLiteral("second"));
        QCOMPARE(info.value(DeviceInfo::Name).toString(), QStringLiteral("second"));
        QVERIFY(!info.isEmpty());
        info.setValue(DeviceInfo::LastPairedAt, QDateTime(QDate(2024, 2, 29), QTime(23, 59), Qt::UTC));
        QCOMPARE(info.value(DeviceInfo::LastPairedAt).toDateTime().date(), QDate(2024, 2, 29));
    }

    void copiesDetachOnWrite()
    {
        DeviceInfo original;
        original.setValue(DeviceInfo::SerialNumber, QStringLiteral("SN1"));
        original.setValue(DeviceInfo::Name, QStringLiteral("Desk"));

        DeviceInfo copy = original;
        copy.setValue(DeviceInfo::Name, QStringLiteral("Lobby"));
        QCOMPARE(original.value(DeviceInfo::Name).toString(), QStringLiteral("Desk"));
        QCOMPARE(copy.value(DeviceInfo::Name).toString(), QStringLiteral("Lobby"));

        DeviceInfo assigned;
        assigned = original;
        original.setValue(DeviceInfo::Battery, 200);
        QVERIFY(!assigned.value(DeviceInfo::Battery).isValid());
        QCOMPARE(original.value(DeviceInfo::Battery).toInt(), 200);

        // A default-constructed record never shares a body with another one.
        DeviceInfo a;
        DeviceInfo b;
        a.setValue(DeviceInfo::MacAddress, QStringLiteral("AA:BB"));
        QVERIFY(b.isEmpty());
    }

    void identityIsTheSerialNumberAlone()
    {
        DeviceInfo bare;
        bare.setValue(DeviceInfo::SerialNumber, QStringLiteral("SN7"));
        DeviceInfo full;
        full.setValue(DeviceInfo::SerialNumber, QStringLiteral("SN7"));
        full.setValue(DeviceInfo::PortName, QStringLiteral("/dev/pts/3"));
        full.setValue(DeviceInfo::MacAddress, QStringLiteral("01:02:03:04:05:06"));
        QVERIFY(bare == full);
        QVERIFY(bare.isSameDevice(full));

        DeviceInfo other = full;
        other.setValue(DeviceInfo::SerialNumber, QStringLiteral("SN8"));
        QVERIFY(other != full);

        const QVector<DeviceInfo> list = {other, full};
        QCOMPARE(list.indexOf(bare), 1);
    }

    void recordsCrossThreadsByQueuedSignals()
    {
        Emitter emitter;
        QThread worker;
        QObject receiver;
        receiver.moveToThread(&worker);

        DeviceInfo received;
        QVector<DeviceInfo> receivedMany;
        DeviceInfo::CurrentStatus receivedStatus = DeviceInfo::Connected;
        QAtomicInt calls;
        connect(&emitter, &Emitter::one, &receiver, [&](DeviceInfo info) {
            info.setValue(DeviceInfo::Name, QStringLiteral("written on the worker"));
            received = info;
            calls.ref();
        }, Qt::QueuedConnection);
        connect(&emitter, &Emitter::many, &receiver, [&](const QVector<DeviceInfo> &infos) {
            receivedMany = infos;
            calls.ref();
        }, Qt::QueuedConnection);
        connect(&emitter, &Emitter::status, &receiver, [&](DeviceInfo::CurrentStatus s) {
            receivedStatus = s;
            calls.ref();
        }, Qt::QueuedConnection);
        worker.start();

        DeviceInfo sent;
        sent.setValue(DeviceInfo::SerialNumber, QStringLiteral("SN9"));
        sent.setValue(DeviceInfo::Name, QStringLiteral("sent"));
        emit emitter.one(sent);
        emit emitter.many({sent, DeviceInfo()});
        emit emitter.status(DeviceInfo::UpgradingFirmware);
        QTRY_COMPARE(calls.loadAcquire(), 3);
        worker.quit();
        QVERIFY(worker.wait(5000));

        QCOMPARE(sent.value(DeviceInfo::Name).toString(), QStringLiteral("sent"));
        QCOMPARE(received.value(DeviceInfo::Name).toString(), QStringLiteral("written on the worker"));
        QCOMPARE(received.value(DeviceInfo::SerialNumber).toString(), QStringLiteral("SN9"));
        QCOMPARE(receivedMany.size(), 2);
        QVERIFY(receivedMany.at(1).isEmpty());
        QCOMPARE(receivedStatus, DeviceInfo::UpgradingFirmware);
        QVERIFY(QMetaType::type("QVector<DeviceInfo>") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("DeviceInfo::CurrentStatus") != QMetaType::UnknownType);
    }
};

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_device_info.moc"
