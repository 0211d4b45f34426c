// The device record: empty reads, copies that do not share writes, and identity
// by serial number.
#include "DeviceInfo.h"

#include <QtTest>

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void freshRecordIsEmpty()
    {
        const DeviceInfo info;
        QVERIFY(info.isEmpty());
        for (int key = -1; key <= 19; ++key)
            QVERIFY(!info.value(key).isValid());
        // No status written reads as Connected wherever it is read as a number.
        QCOMPARE(info.value(DeviceInfo::Status).toInt(), int(DeviceInfo::Connected));
    }

    void copiesDetachOnWrite()
    {
        DeviceInfo original;
        original.setValue(DeviceInfo::Name, QStringLiteral("Desk"));
        DeviceInfo copy = original;
        copy.setValue(DeviceInfo::Name, QStringLiteral("Lobby"));
        QCOMPARE(original.value(DeviceInfo::Name).toString(), QStringLiteral("Desk"));
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
        QVERIFY(bare == full);
        QVERIFY(bare.isSameDevice(full));
        DeviceInfo other = full;
        other.setValue(DeviceInfo::SerialNumber, QStringLiteral("SN8"));
        QVERIFY(other != full);
        QCOMPARE((QVector<DeviceInfo>{other, full}).indexOf(bare), 1);
    }
};

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_device_info.moc"
