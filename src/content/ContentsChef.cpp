#include "ContentsChef.h"

#include "CampaignPublisher.h"
#include "DeviceRegistrar.h"
#include "DevicesManager.h"
#include "FirmwareOffers.h"
#include "NetworkManager.h"
#include "PublishingProgress.h"

ContentsChef::ContentsChef(QObject *parent)
    : QObject(parent)
    , m_progress(new PublishingProgress(this))
    , m_firmware(new FirmwareOffers(this))
    , m_registrar(new DeviceRegistrar(m_progress, m_firmware, this))
    , m_publisher(new CampaignPublisher(m_progress, this))
{
    // How the parts hand a pass on to each other.
    connect(m_registrar, &DeviceRegistrar::campaignWanted, m_publisher, &CampaignPublisher::requestCampaign);
    connect(m_firmware, &FirmwareOffers::offerEnded, m_registrar, &DeviceRegistrar::onFirmwareOfferEnded);
    connect(m_publisher, &CampaignPublisher::contentListed, m_registrar,
            [this](const QString &mac, const QStringList &images, const QStringList &slideShows) {
                m_registrar->sendDeviceContentUUIDs(mac, true, images, slideShows);
            });
    connect(m_registrar, &DeviceRegistrar::allCloudRecordsSettled, this, &ContentsChef::cloudWritesSettled);
}

ContentsChef::~ContentsChef()
{
    setManagers(nullptr, nullptr);
}

void ContentsChef::setManagers(DevicesManager *devicesManager, NetworkManager *networkManager)
{
    disconnectManagers();
    m_devices = devicesManager;
    m_network = networkManager;
    // Either both or none: half a pipeline would run slots against a null manager.
    const bool attach = m_devices && m_network;
    DevicesManager *devices = attach ? m_devices.data() : nullptr;
    NetworkManager *network = attach ? m_network.data() : nullptr;
    m_progress->setDevicesManager(devices);
    m_registrar->setManagers(devices, network);
    m_firmware->setManagers(devices, network);
    m_publisher->setManagers(devices, network);
    if (attach)
        connectManagers();
    else
        m_progress->clear();
}

void ContentsChef::refreshDevices()
{
    m_registrar->refreshDevices();
}

bool ContentsChef::hasCloudWritesInFlight() const
{
    return m_registrar->hasCloudUpdatesInFlight();
}

void ContentsChef::setPictureBudget(qint64 bytes)
{
    m_publisher->setPictureBudget(bytes);
}

void ContentsChef::connectManagers()
{
    DevicesManager *d = m_devices;
    NetworkManager *n = m_network;
    connect(d, &DevicesManager::devicesReady, m_registrar, &DeviceRegistrar::onDevicesReady);
    connect(n, &NetworkManager::fwVersionLoaded, m_registrar, &DeviceRegistrar::onFwVersionLoaded);
    connect(n, &NetworkManager::usbDeviceRegistered, m_registrar, &DeviceRegistrar::slotRegisteredUsbDevice);
    connect(n, &NetworkManager::deviceInfoDownloaded, m_registrar, &DeviceRegistrar::slotDeviceInfoDownloaded);
    connect(n, &NetworkManager::gotUserInfo, m_registrar, &DeviceRegistrar::onUserInfoLoaded);
    connect(n, &NetworkManager::deviceInfoUpdated, m_registrar, &DeviceRegistrar::onDeviceInfoUpdated);
    connect(d, &DevicesManager::deviceErased, m_registrar, &DeviceRegistrar::onErased);
    connect(d, &DevicesManager::gotUuidsOnDevice, m_registrar, &DeviceRegistrar::sendDeviceContentUUIDs);
    connect(n, &NetworkManager::deviceCampaignReady, m_publisher, &CampaignPublisher::grabDeviceCampaignContent);
    connect(n, &NetworkManager::campaignInfoReady, m_publisher, &CampaignPublisher::processCampaignInfo);
    connect(n, &NetworkManager::contentsReady, this, &ContentsChef::onContentsReady);
    connect(d, &DevicesManager::gotUuidsOnDevice, m_publisher, &CampaignPublisher::loadedDeviceUuids);
    connect(n, &NetworkManager::contentInfoReady, m_publisher, &CampaignPublisher::loadedUuidsDetails);
    connect(d, &DevicesManager::deletedOnDevice, m_publisher, &CampaignPublisher::deletedUuids);
    connect(d, &DevicesManager::filesUploaded, m_publisher, &CampaignPublisher::onFilesUploaded);
    connect(n, &NetworkManager::uploadStatusSent, m_publisher, &CampaignPublisher::onStatusSent);
}

void ContentsChef::disconnectManagers()
{
    const QList<QObject *> parts{this, m_progress, m_registrar, m_firmware, m_publisher};
    for (QObject *part : parts) {
        for (QObject *manager : {static_cast<QObject *>(m_devices.data()), static_cast<QObject *>(m_network.data())}) {
            if (!manager)
                continue;
            disconnect(manager, nullptr, part, nullptr);
            disconnect(part, nullptr, manager, nullptr);
        }
    }
}

void ContentsChef::onContentsReady(bool success, ImageData file, QString errorString, bool refused)
{
    // Read as unsigned, -1 (undefined, firmware) is no picture type.
    if (static_cast<unsigned>(file.type) <= static_cast<unsigned>(GifType))
        m_publisher->processDownloadedContents(success, file, errorString, refused);
    else
        m_firmware->onFileDownloaded(success, file, errorString);
}
