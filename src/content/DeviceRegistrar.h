#pragma once

#include "DeviceInfo.h"
#include "NetworkManager.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class DevicesManager;
class PublishingProgress;

// The first half of every device's road: registration with the cloud, the
// cloud's record of the device applied to the device and kept up to date in the
// cloud (firmware, content, erasure), and the decision whether the device may
// receive a campaign. The contents chef makes the connections.
class DeviceRegistrar : public QObject
{
    Q_OBJECT

public:
    // Devices with older firmware are registered and updated, never sent a campaign.
    static const QString MinCampaignFwVersion; // "1.5.28"

    DeviceRegistrar(PublishingProgress *progress, QObject *parent = nullptr);

    void setManagers(DevicesManager *devices, NetworkManager *network);

    // Newly initialised devices.
    void onDevicesReady(const QVector<DeviceInfo> &devices);
    // The heartbeat pass: every idle device not already on its road is
    // registered again, so that changes made in the cloud reach it.
    void refreshDevices();

    bool hasCloudUpdatesInFlight() const { return !m_cloudUpdatesInFlight.isEmpty(); }

    // "1.0.95 (<operating system>)", as the cloud's mobilePlatformVersion.
    static QString applicationIdentity();

signals:
    // The device is registered, activated, its record applied, and its firmware
    // takes campaigns: its campaign may be fetched.
    void campaignWanted(QString mac);
    // The cloud offers newer firmware for the device.
    void firmwareOffered(QString serial, UrlData file);
    void registrationFailed(QString mac);
    // Every update of the device's cloud record sent so far has been answered.
    void cloudRecordSettled(QString mac);
    // ... and for every device.
    void allCloudRecordsSettled();

public slots:
    void sendDeviceErased(QString deviceMAC, bool isSuccess);
    void sendDeviceContentUUIDs(QString deviceMAC, bool isSuccess, QStringList imageUuids,
                                QStringList slideShowUuids);
    void slotRegisteredUsbDevice(QString deviceMAC, bool isSuccess, bool isActivated, QString location,
                                 UrlData newFw, QString errorString);
    void slotDeviceInfoDownloaded(bool isSuccess, QHash<NetworkManager::DataType, QVariant> deviceInfo,
                                  QString errorString);
    void onUserInfoLoaded(bool isSuccess, QString deviceMAC, UserInfo *userInfo, QString errorString);
    void onDeviceInfoUpdated(QString macAddress, QHash<NetworkManager::DataType, QVariant> deviceInfo);
    void onFwVersionLoaded(bool success, QString minFwVersion, QString errorString);

private:
    bool attached() const;
    void queueRegistration(const QString &mac, const QString &fwVersion);
    bool belowMinimum(const QString &fwVersion) const;
    void warnBelowMinimum(const QString &mac);
    // The owner's fields (13 user name, 14 person name) from the logged-in user
    // when the device is theirs; otherwise the owner's record is fetched.
    void addOwnerFields(const QString &mac, int userId, QHash<int, QVariant> *updates);
    void updateCloudRecord(const QString &mac, const QStringList &tamoIds, const QStringList &postIds,
                           const QDateTime &lastPairedAt, const QString &name, bool erased, bool withIds);
    QString deviceText(const QString &mac, int key) const;

    PublishingProgress *m_progress;
    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    QString m_minFwVersion;
    // Devices waiting for the firmware-version answer, one entry per MAC (the newest).
    QVector<NetworkManager::DeviceHash> m_pendingRegistrations;
    // Devices offered firmware in this pass: their road stops before a campaign.
    QSet<QString> m_firmwareOffered;
    // Updates of each device's cloud record still waiting for their answer.
    QHash<QString, int> m_cloudUpdatesInFlight;
};
