#pragma once

#include <QHash>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QVariant>
#include <QVector>

class DeviceInfoData;

// The record of one attached device: integer field keys to values. Copies share
// one body until one of them is written (copy-on-write), so records travel freely
// by value through queued signals.
class DeviceInfo
{
    Q_GADGET

public:
    enum Field {
        SerialNumber = 0, // USB serial number of the port; the identity on the device side
        PortName = 1,
        MacAddress = 2,   // the identity towards the cloud and the content pipeline
        FwVersion = 3,
        BoardId = 4,
        DeviceSerial = 5,
        PlantNumber = 6,
        Reserved7 = 7,    // carried and shown, never written
        Status = 8,       // a CurrentStatus value as a plain integer
        Name = 9,
        Label = 10,
        Location = 11,
        LastPairedAt = 12,
        Username = 13,
        PersonName = 14,
        NotActivated = 15,
        Brightness = 16,
        Battery = 17,
        DimLevel = 18,
        // Beyond the device's own facts, for the window and tamo-cli: the progress
        // of the job that runs now (items sent of items planned, or a firmware
        // download's percent of 100; both absent when no job runs) and the text
        // of the device's latest failure.
        JobDone = 19,
        JobTotal = 20,
        LastError = 21,
    };

    enum CurrentStatus {
        Connected = 0,
        Transferring = 1,
        DeletingContent = 2,
        UpgradingFirmware = 3,
        Error = 4,
        // Around a firmware upgrade: flashed and off the bus until it is read
        // again, and queued behind other devices' upgrades.
        Restarting = 5,
        WaitingForFirmware = 6,
    };
    Q_ENUM(CurrentStatus)

    DeviceInfo();
    DeviceInfo(const DeviceInfo &other);
    DeviceInfo &operator=(const DeviceInfo &other);
    ~DeviceInfo();

    QVariant value(int key) const;
    void setValue(int key, const QVariant &value);
    bool isEmpty() const;

    // List look-ups identify a device by its serial number (field 0) alone.
    bool isSameDevice(const DeviceInfo &other) const;
    bool operator==(const DeviceInfo &other) const { return isSameDevice(other); }
    bool operator!=(const DeviceInfo &other) const { return !isSameDevice(other); }

    // Registers "DeviceInfo", "QVector<DeviceInfo>" and "DeviceInfo::CurrentStatus"
    // with the meta-type system; needed before records cross threads. Idempotent.
    static void registerMetaTypes();

private:
    QSharedDataPointer<DeviceInfoData> d;
};

Q_DECLARE_METATYPE(DeviceInfo)
Q_DECLARE_METATYPE(QVector<DeviceInfo>)
Q_DECLARE_METATYPE(DeviceInfo::CurrentStatus)
