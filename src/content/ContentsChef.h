#pragma once

#include "ImageData.h"

#include <QObject>
#include <QPointer>

class CampaignPublisher;
class DeviceRegistrar;
class DevicesManager;
class FirmwareOffers;
class NetworkManager;
class PublishingProgress;

// The conductor of the publishing pipeline. It owns no device and no network
// connection: it listens to the devices manager and to the cloud client and
// brings every attached device from the USB hub to showing its campaign. The
// work is split by concern: registration and the cloud's device record,
// firmware offers, campaign publishing, and the one owner of every device's
// pass along that road; the chef composes them and makes every connection to
// the two managers in one place.
class ContentsChef : public QObject
{
    Q_OBJECT

public:
    explicit ContentsChef(QObject *parent = nullptr);
    ~ContentsChef() override;

    // Attaches to both managers; null for both detaches (logout, shutdown): every
    // connection to the old managers goes, and no slot runs against a null manager.
    void setManagers(DevicesManager *devicesManager, NetworkManager *networkManager);
    // The heartbeat pass over the connected devices.
    void refreshDevices();

    PublishingProgress *progress() const { return m_progress; }
    // Updates of device records sent to the cloud and not yet answered.
    bool hasCloudWritesInFlight() const;
    FirmwareOffers *firmwareOffers() const { return m_firmware; }
    // Converted pictures no campaign in progress needs are evicted beyond this
    // many bytes (least recently used first); default 64 MiB.
    void setPictureBudget(qint64 bytes);

signals:
    void cloudWritesSettled();

private:
    void connectManagers();
    void disconnectManagers();
    // Pictures go to the campaign publisher, anything else is offered firmware.
    void onContentsReady(bool success, ImageData file, QString errorString, bool refused);

    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    PublishingProgress *m_progress;
    FirmwareOffers *m_firmware;
    DeviceRegistrar *m_registrar;
    CampaignPublisher *m_publisher;
};
