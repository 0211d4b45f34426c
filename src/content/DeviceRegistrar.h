#pragma once

#include "DeviceInfo.h"
#include "NetworkManager.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class DevicesManager;
class FirmwareOffers;
class PublishingProgress;
struct PublishingRun;

// The first half of every pass: registration with the cloud, the cloud's record
// of the device applied to the device and kept up to date in the cloud
// (firmware, content, erasure), a firmware offer fetched, and the decision
// whether the device may receive a campaign. Each answer finds its pass by the
// ticket it carries; the contents chef makes the connections.
class DeviceRegistrar : public QObject
{
    Q_OBJECT

public:
    // Devices with older firmware are registered and updated, never sent a campaign.
    static const QString MinCampaignFwVersion; // "1.5.28"

    DeviceRegistrar(PublishingProgress *progress, FirmwareOffers *firmware, QObject *parent = nullptr);

    void setManagers(DevicesManager *devices, NetworkManager *network);

    // Newly initialised devices: each starts a new pass.
    void onDevicesReady(const QVector<DeviceInfo> &devices);
    // The heartbeat pass: every idle device not already on its road is
    // registered again, so that changes made in the cloud reach it.
    void refreshDevices();

    bool hasCloudUpdatesInFlight() const { return !m_cloudUpdatesInFlight.isEmpty(); }

    // "1.0.95 (<operating system>)", as the cloud's mobilePlatformVersion.
    static QString applicationIdentity();

signals:
    // The pass has passed every gate of the first half: its campaign may be fetched.
    void campaignWanted(PublishingRun *run);
    // Every update of the device's cloud record sent so far has been answered, for every device.
    void allCloudRecordsSettled();

public slots:
    void sendDeviceContentUUIDs(QString deviceMAC, bool isSuccess, QStringList imageUuids,
                                QStringList slideShowUuids);
    void onErased(QString deviceMAC, bool isSuccess, quint64 ticket);
    void slotRegisteredUsbDevice(QString deviceMAC, bool isSuccess, bool isActivated, QString location,
                                 UrlData newFw, QString errorString, quint64 ticket);
    void slotDeviceInfoDownloaded(bool isSuccess, QHash<NetworkManager::DataType, QVariant> deviceInfo,
                                  QString errorString, quint64 ticket);
    void onUserInfoLoaded(bool isSuccess, QString deviceMAC, UserInfo *userInfo, QString errorString);
    void onDeviceInfoUpdated(QString macAddress, QHash<NetworkManager::DataType, QVariant> deviceInfo);
    void onFwVersionLoaded(bool success, QString minFwVersion, QString errorString);
    void onFirmwareOfferEnded(quint64 ticket, QString failure);

private:
    bool attached() const;
    void startPass(const QString &mac, const QString &serial);
    bool belowMinimum(const QString &fwVersion) const;
    void warnBelowMinimum(const QString &mac);
    void applyRecord(PublishingRun *run, const NetworkManager::DeviceHash &deviceInfo);
    // The gates after the record: firmware being upgraded, below the minimum,
    // not activated, too old for campaigns.
    void passGates(PublishingRun *run);
    // The owner's fields (13 user name, 14 person name) from the logged-in user
    // when the device is theirs; otherwise the owner's record is fetched.
    void addOwnerFields(const QString &mac, int userId, QHash<int, QVariant> *updates);
    void updateCloudRecord(const QString &mac, const QStringList &tamoIds, const QStringList &postIds,
                           const QDateTime &lastPairedAt, const QString &name, bool erased, bool withIds);
    QString deviceText(const QString &mac, int key) const;

    PublishingProgress *m_progress;
    FirmwareOffers *m_firmware;
    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    QString m_minFwVersion;
    // Updates of each device's cloud record still waiting for their answer.
    QHash<QString, int> m_cloudUpdatesInFlight;
};
