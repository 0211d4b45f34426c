#include "ContentsChef.h"

#include "DeviceRegistrar.h"
#include "DevicesManager.h"
#include "FirmwareOffers.h"
#include "NetworkManager.h"
#include "PublishingProgress.h"

ContentsChef::ContentsChef(QObject *parent)
    : QObject(parent)
    , m_progress(new PublishingProgress(this))
    , m_registrar(new DeviceRegistrar(m_progress, this))
    , m_firmware(new FirmwareOffers(this))
{
    connect(m_registrar, &DeviceRegistrar::firmwareOffered, m_firmware,
            [this](const QString &, const QString &serial, const UrlData &file) { m_firmware->offer(serial, file); });
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
    if (attach)
        connectManagers();
    else
        m_progress->clear();
}

bool ContentsChef::hasCloudWritesInFlight() const
{
    return m_registrar->hasCloudUpdatesInFlight();
}

void ContentsChef::refreshDevices()
{
    m_registrar->refreshDevices();
}

void ContentsChef::connectManagers()
{
    DevicesManager *d = m_devices;
    NetworkManager *n = m_network;
    connect(d, &DevicesManager::devicesReady, m_registrar, &DeviceRegistrar::onDevicesReady);
    connect(n, &NetworkManager::fwVersionLoaded, m_registrar, &DeviceRegistrar::onFwVersionLoaded);
    connect(n, &NetworkManager::usbDeviceRegistered, m_registrar, &DeviceRegistrar::slotRegisteredUsbDevice);
    connect(n, &NetworkManager::deviceInfoDownloaded, m_registrar, &DeviceRegistrar::slotDeviceInfoDownloaded);
    connect(n, &NetworkManager::contentsReady, this, &ContentsChef::onContentsReady);
    connect(n, &NetworkManager::gotUserInfo, m_registrar, &DeviceRegistrar::onUserInfoLoaded);
    connect(n, &NetworkManager::deviceInfoUpdated, m_registrar, &DeviceRegistrar::onDeviceInfoUpdated);
    connect(d, &DevicesManager::gotUuidsOnDevice, m_registrar, &DeviceRegistrar::sendDeviceContentUUIDs);
    connect(d, &DevicesManager::deviceErased, m_registrar, &DeviceRegistrar::sendDeviceErased);
}

void ContentsChef::disconnectManagers()
{
    const QList<QObject *> receivers{this, m_progress, m_registrar, m_firmware};
    for (QObject *receiver : receivers) {
        if (m_devices)
            disconnect(m_devices, nullptr, receiver, nullptr);
        if (m_network)
            disconnect(m_network, nullptr, receiver, nullptr);
    }
}

void ContentsChef::onContentsReady(bool success, ImageData file)
{
    // Read as unsigned, -1 (undefined, firmware) is no picture type.
    if (static_cast<unsigned>(file.type) <= static_cast<unsigned>(GifType))
        return; // pictures: the campaign half
    m_firmware->onFileDownloaded(success, file);
}
