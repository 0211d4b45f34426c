// The devices model: its role map, its rows through announcements (a record is
// identified by its serial number alone), removals and firmware upgrades (a
// device back from one takes its old place), what a screen reader hears of a
// device, and when it tells views that something changed.
#include "DevicesModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

DeviceInfo device(const QString &serial, const QString &name = QString())
{
    DeviceInfo info;
    info.setValue(DeviceInfo::SerialNumber, serial);
    info.setValue(DeviceInfo::PortName, QStringLiteral("/dev/pts/") + serial);
    if (!name.isEmpty())
        info.setValue(DeviceInfo::Name, name);
    return info;
}

QStringList serials(const DevicesModel &model)
{
    QStringList list;
    for (const DeviceInfo &info : model.devices())
        list << info.value(DeviceInfo::SerialNumber).toString();
    return list;
}

} // namespace

class TestDevicesModel : public QObject
{
    Q_OBJECT

private slots:
    void roleMapHasItsCrossedKeys()
    {
        DevicesModel model;
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
        DeviceInfo info;
        for (int key = 0; key <= 18; ++key)
            info.setValue(key, QStringLiteral("v%1").arg(key));
        model.addDevices({info});
        const QModelIndex row = model.index(0, 0);

        const QMap<int, int> roleToKey = {
            {256, 0}, {257, 1}, {258, 2}, {259, 3}, {260, 5}, {261, 4}, {262, 7}, {263, 8}, {264, 9},
            {265, 10}, {266, 11}, {267, 12}, {268, 13}, {269, 14}, {270, 15}, {271, 17}, {272, 16}, {273, 18}};
        for (auto it = roleToKey.cbegin(); it != roleToKey.cend(); ++it) {
            QCOMPARE(model.data(row, it.key()).toString(), QStringLiteral("v%1").arg(it.value()));
            QCOMPARE(DevicesModel::roleForKey(it.value()), it.key());
        }
        // Key 6 (plant number) has no role; roles outside the map give nothing.
        QCOMPARE(DevicesModel::roleForKey(6), -1);
        QVERIFY(!model.data(row, 255).isValid());
        QVERIFY(!model.data(row, 277).isValid());
        QVERIFY(!model.data(row, Qt::ToolTipRole).isValid());
        // The display text is the device name.
        QCOMPARE(model.data(row, Qt::DisplayRole).toString(), QStringLiteral("v9"));
    }

    void announcingTwiceDoesNotDuplicate()
    {
        DevicesModel model;
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.addDevices({device(QStringLiteral("A")), device(QStringLiteral("B")), device(QStringLiteral("A"))});
        QCOMPARE(serials(model), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(inserted.count(), 1); // one insertion for the batch
        QVERIFY(device(QStringLiteral("B")) == device(QStringLiteral("B"), QStringLiteral("renamed")));
        model.addDevices({device(QStringLiteral("B"), QStringLiteral("renamed")), device(QStringLiteral("C"))});
        QCOMPARE(serials(model), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        model.addDevices({device(QStringLiteral("A"))});
        QCOMPARE(inserted.count(), 2);
    }

    void setValueChangesOnlyWhatDiffers()
    {
        DevicesModel model;
        DeviceInfo a = device(QStringLiteral("A"));
        a.setValue(DeviceInfo::MacAddress, QStringLiteral("AA:AA"));
        a.setValue(DeviceInfo::Brightness, 50);
        model.addDevices({device(QStringLiteral("Z")), a});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        model.setValue(DeviceInfo::MacAddress, QStringLiteral("AA:AA"), DeviceInfo::Brightness, 50);
        QCOMPARE(changed.count(), 0);

        model.setValue(DeviceInfo::MacAddress, QStringLiteral("AA:AA"), DeviceInfo::Brightness, 80);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
        QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 1);
        // Key 16 is served by role 272.
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{272});
        QCOMPARE(model.findValue(DevicesModel::MacAddressRole, QStringLiteral("AA:AA"), DevicesModel::BrightnessRole).toInt(), 80);

        // No row holds the search value: nothing happens.
        model.setValue(DeviceInfo::MacAddress, QStringLiteral("BB:BB"), DeviceInfo::Brightness, 1);
        QCOMPARE(changed.count(), 1);
        // A key without a role is still stored, the change says no role.
        model.setValue(DeviceInfo::MacAddress, QStringLiteral("AA:AA"), DeviceInfo::PlantNumber, QStringLiteral("P1"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(model.device(1).value(DeviceInfo::PlantNumber).toString(), QStringLiteral("P1"));
        QVERIFY(changed.at(1).at(2).value<QVector<int>>().isEmpty());
    }

    void clearEmptiesRowsAndKeptDevices()
    {
        DevicesModel model;
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
        model.addDevices({device(QStringLiteral("A")), device(QStringLiteral("B"))});
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, 3);
        model.removeDevice(QStringLiteral("A"));
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(removed.count(), 1);
        QVERIFY(model.keptSerialNumbers().isEmpty());
        model.clear(); // nothing to remove: no signal
        QCOMPARE(removed.count(), 1);
    }

    void upgradingAgainDropsAStaleKeptRow()
    {
        DevicesModel model;
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
        model.addDevices({device(QStringLiteral("A"))});
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, 3);
        model.removeDevice(QStringLiteral("A"));
        QCOMPARE(model.keptSerialNumbers().size(), 1);
        // The same row is set to upgrading again: the side entry goes, the row stays.
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, 3);
        QVERIFY(model.keptSerialNumbers().isEmpty());
        QCOMPARE(model.rowCount(), 1);
    }

    void deviceBackAfterItsUpgradeKeepsItsPlace()
    {
        DevicesModel model;
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest, &model);
        model.addDevices({device(QStringLiteral("A"), QStringLiteral("old")), device(QStringLiteral("B"))});
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, 3);
        model.removeDevice(QStringLiteral("A"));
        QCOMPARE(model.keptSerialNumbers(), QList<QString>{QStringLiteral("A")});
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.addDevices({device(QStringLiteral("A"), QStringLiteral("new")), device(QStringLiteral("C"))});
        QCOMPARE(serials(model), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(model.device(0).value(DeviceInfo::Name).toString(), QStringLiteral("new"));
        QVERIFY(!model.device(0).value(DeviceInfo::Status).isValid()); // the fresh record, connected
        QCOMPARE(removed.count(), 0);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);
        QVERIFY(model.keptSerialNumbers().isEmpty());
    }

    void spokenTextNamesStatusProgressAndError()
    {
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"), QStringLiteral("Lobby"));
        model.addDevices({info, device(QStringLiteral("B"))});
        QCOMPARE(model.index(0, 0).data(Qt::AccessibleTextRole).toString(), QStringLiteral("Lobby, status: connected"));
        QCOMPARE(model.index(1, 0).data(Qt::AccessibleTextRole).toString(), QStringLiteral("Device B, status: connected"));
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, 3);
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::JobDone, 50);
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::JobTotal, 100);
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::LastError, QStringLiteral("time-out"));
        QCOMPARE(model.index(0, 0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Lobby, status: upgrading device firmware, firmware download 50%, last error: time-out"));
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, 1);
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::JobDone, 3);
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::JobTotal, 9);
        QCOMPARE(model.index(0, 0).data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Lobby, status: transferring, 3 of 9 items sent, last error: time-out"));
    }
};

QTEST_GUILESS_MAIN(TestDevicesModel)
#include "tst_device_model.moc"
