#pragma once

#include "DeviceInfo.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QVector>

// The one list of attached devices: one row per device in the order they were
// added, one column, values served by role. The devices manager is its only
// writer. It needs only Qt Core, so headless tools can hold it; the window hands
// it its picture and font (decoration and font roles).
class DevicesModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        SerialNumberRole = Qt::UserRole,  // 256 -> key 0
        PortNameRole,                     // 257 -> key 1
        MacAddressRole,                   // 258 -> key 2
        FwVersionRole,                    // 259 -> key 3
        DeviceSerialRole,                 // 260 -> key 5 (crossed with 261)
        BoardIdRole,                      // 261 -> key 4
        Reserved7Role,                    // 262 -> key 7
        StatusRole,                       // 263 -> key 8
        NameRole,                         // 264 -> key 9
        TitleRole,                        // 265 -> key 10
        LocationRole,                     // 266 -> key 11
        LastPairedAtRole,                 // 267 -> key 12
        UsernameRole,                     // 268 -> key 13
        PersonNameRole,                   // 269 -> key 14
        NotActivatedRole,                 // 270 -> key 15
        BatteryRole,                      // 271 -> key 17 (crossed with 272)
        BrightnessRole,                   // 272 -> key 16
        DimLevelRole,                     // 273 -> key 18
        JobDoneRole,                      // 274 -> key 19
        JobTotalRole,                     // 275 -> key 20
        LastErrorRole,                    // 276 -> key 21
    };

    explicit DevicesModel(QObject *parent = nullptr);

    // Field key served by a role, -1 for none; and the role that serves a key, -1 for none.
    static int keyForRole(int role);
    static int roleForKey(int key);
    static QString statusText(int status);
    // What a screen reader says of a device (the accessible-text role): its name,
    // status, the progress of its job and its last error.
    static QString spokenText(const DeviceInfo &info);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The records as they stand; what discovery compares the ports with.
    const QVector<DeviceInfo> &devices() const;
    DeviceInfo device(int row) const;

    void addDevices(const QVector<DeviceInfo> &devices);
    void removeDevice(const QString &serialNumber);
    void removeDevices(const QVector<QString> &serialNumbers);
    int findRow(int key, const QVariant &value) const;
    QVariant findValue(int searchRole, const QVariant &searchValue, int wantedRole) const;
    void setValue(int searchKey, const QVariant &searchValue, int key, const QVariant &value);
    void clear();

    // Serial numbers of rows kept because their device vanished while upgrading.
    QList<QString> keptSerialNumbers() const;

    // Presentation values that need Qt Gui: the device picture and the row font.
    void setDecoration(const QVariant &picture);
    void setFont(const QVariant &font);

private:
    void dropRow(int row);

    QVector<DeviceInfo> m_rows;
    QHash<QString, DeviceInfo> m_keptWhileUpgrading;
    QVariant m_decoration;
    QVariant m_font;
};
