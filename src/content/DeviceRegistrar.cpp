#include "DeviceRegistrar.h"

#include "ActivityText.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "LocalSettings.h"
#include "LogCategories.h"
#include "PublishingProgress.h"
#include "UserInfo.h"

#include <QDateTime>
#include <QDebug>
#include <QSysInfo>
#include <QVersionNumber>

#include <algorithm>

#ifndef TAMO_VERSION
#error "TAMO_VERSION must name the application version"
#endif

const QString DeviceRegistrar::MinCampaignFwVersion = QStringLiteral("1.5.28");

namespace {

const QString kMinFwFailedText = QStringLiteral("Could not load min Fw version from server with error '%1'");
const QString kRegistrationFailedText = QStringLiteral("Failed registering device '%1' with an error '%2'");
const QString kUpgradeAdviceText =
    QStringLiteral("Please upgrade device '%1' fw at least to version '%2' for correct communication.");
const QString kDeviceInfoFailedText = QStringLiteral("Failed loading device info '%1' with an error '%2'");
const QString kUserInfoFailedText = QStringLiteral("Failed load user information: ");
const QString kListingFailedText = QStringLiteral("Error on reading content UUIDs for device with MAC=");
const QString kEraseFailedText = QStringLiteral("Error on erasing content UUIDs for device with MAC=");

QStringList withoutDuplicates(QStringList list)
{
    list.removeDuplicates();
    return list;
}

int compareVersions(const QString &a, const QString &b)
{
    return QVersionNumber::compare(QVersionNumber::fromString(a), QVersionNumber::fromString(b));
}

QHash<int, QVariant> userFields(const UserInfo *user)
{
    if (!user)
        return {};
    return {{DeviceInfo::Username, user->username},
            {DeviceInfo::PersonName, user->firstName + QLatin1Char(' ') + user->lastName}};
}

} // namespace

DeviceRegistrar::DeviceRegistrar(PublishingProgress *progress, QObject *parent)
    : QObject(parent)
    , m_progress(progress)
{
}

void DeviceRegistrar::setManagers(DevicesManager *devices, NetworkManager *network)
{
    m_devices = devices;
    m_network = network;
    if (!attached()) {
        m_pendingRegistrations.clear();
        m_firmwareOffered.clear();
        m_cloudUpdatesInFlight.clear();
    }
}

bool DeviceRegistrar::attached() const
{
    return m_devices && m_network;
}

QString DeviceRegistrar::applicationIdentity()
{
    return QStringLiteral("%1 (%2)").arg(QStringLiteral(TAMO_VERSION), QSysInfo::prettyProductName());
}

QString DeviceRegistrar::deviceText(const QString &mac, int key) const
{
    return m_devices ? m_devices->deviceValue(mac, key).toString() : QString();
}

// --- registration ------------------------------------------------------------

void DeviceRegistrar::queueRegistration(const QString &mac, const QString &fwVersion)
{
    const NetworkManager::DeviceHash entry{{NetworkManager::FirmwareRevisionKey, fwVersion},
                                           {NetworkManager::MacAddressKey, mac}};
    // A device announced twice before the answer is registered once, as it is now.
    auto same = std::find_if(m_pendingRegistrations.begin(), m_pendingRegistrations.end(),
                             [&mac](const NetworkManager::DeviceHash &pending) {
                                 return pending.value(NetworkManager::MacAddressKey).toString() == mac;
                             });
    if (same != m_pendingRegistrations.end())
        *same = entry;
    else
        m_pendingRegistrations.append(entry);
    m_progress->begin(mac);
}

void DeviceRegistrar::onDevicesReady(const QVector<DeviceInfo> &devices)
{
    if (!attached())
        return;
    bool queued = false;
    for (const DeviceInfo &device : devices) {
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        if (mac.isEmpty())
            continue;
        queueRegistration(mac, device.value(DeviceInfo::FwVersion).toString());
        queued = true;
    }
    if (queued)
        m_network->loadFirmwareInfo();
}

void DeviceRegistrar::refreshDevices()
{
    if (!attached())
        return;
    const DevicesModel *model = m_devices->devicesModel();
    if (!model)
        return;
    QStringList unread;
    bool queued = false;
    for (const DeviceInfo &device : model->devices()) {
        const int status = device.value(DeviceInfo::Status).toInt();
        if (status != DeviceInfo::Connected && status != DeviceInfo::Error)
            continue;
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        if (mac.isEmpty()) {
            unread << device.value(DeviceInfo::SerialNumber).toString();
            continue;
        }
        // A device still on its road has a job or an answer coming; starting it
        // again would put a second job on its port.
        if (m_progress->isOnRoad(mac))
            continue;
        queueRegistration(mac, device.value(DeviceInfo::FwVersion).toString());
        queued = true;
    }
    if (queued) {
        m_network->loadFirmwareInfo();
        m_devices->pollBattery();
    }
    unread.removeAll(QString());
    if (!unread.isEmpty())
        m_devices->reinitialize(unread);
}

void DeviceRegistrar::onFwVersionLoaded(bool success, QString minFwVersion, QString errorString)
{
    if (!attached())
        return;
    if (!success) {
        qCWarning(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kMinFwFailedText, {errorString})));
        // The registrations wait for the next pass; this pass has ended for them.
        for (const NetworkManager::DeviceHash &pending : qAsConst(m_pendingRegistrations))
            m_progress->finish(pending.value(NetworkManager::MacAddressKey).toString(), PublishingProgress::Failed,
                               tr("the minimum firmware version could not be loaded: %1").arg(errorString));
        return;
    }
    m_minFwVersion = minFwVersion;
    if (m_pendingRegistrations.isEmpty())
        return;
    // Read afresh: a location saved a moment ago applies to the next registration.
    m_network->registerUsbDevices(m_pendingRegistrations.toList(), LocalSettings::defaultLocation());
    m_pendingRegistrations.clear();
}

bool DeviceRegistrar::belowMinimum(const QString &fwVersion) const
{
    return compareVersions(m_minFwVersion, fwVersion) > 0;
}

void DeviceRegistrar::warnBelowMinimum(const QString &mac)
{
    qCWarning(lcDeviceManager, "%s",
              qUtf8Printable(ActivityText::fill(kUpgradeAdviceText, {mac, m_minFwVersion})));
}

void DeviceRegistrar::slotRegisteredUsbDevice(QString deviceMAC, bool isSuccess, bool isActivated, QString location,
                                              UrlData newFw, QString errorString)
{
    if (!attached())
        return;
    const QString &mac = deviceMAC;
    if (!isSuccess) {
        qCWarning(lcDeviceManager, "%s",
                  qUtf8Printable(ActivityText::fill(kRegistrationFailedText, {mac, errorString})));
        emit registrationFailed(mac);
        m_progress->finish(mac, PublishingProgress::Failed, tr("registration failed: %1").arg(errorString));
        return;
    }

    QHash<int, QVariant> values{{DeviceInfo::NotActivated, !isActivated}};
    if (isActivated)
        values.insert(DeviceInfo::Location, location);
    // The status is the road's to write, once, at its end: a device that fails
    // later on every pass does not flicker between Connected and Error.
    m_devices->setDeviceValues(mac, values);
    m_progress->reach(mac, PublishingProgress::Registered);

    const QString serial = deviceText(mac, DeviceInfo::SerialNumber);
    if (!newFw.link.isEmpty()) {
        m_firmwareOffered.insert(mac);
        m_progress->reach(mac, PublishingProgress::FirmwareOffered);
        emit firmwareOffered(serial, newFw);
        m_network->loadDevicesInfo({mac});
        return;
    }
    if (!m_devices->isUpgrading(serial) && belowMinimum(deviceText(mac, DeviceInfo::FwVersion)))
        warnBelowMinimum(mac);
    if (!isActivated) {
        m_progress->finish(mac, PublishingProgress::Failed, tr("the device is not activated in the cloud"));
        return;
    }
    m_network->loadDevicesInfo({mac});
}

// --- the cloud's record of the device ----------------------------------------

void DeviceRegistrar::addOwnerFields(const QString &mac, int userId, QHash<int, QVariant> *updates)
{
    if (userId <= 0)
        return;
    const UserInfo *current = m_network->userInfo();
    if (current && current->id == userId)
        updates->insert(userFields(current));
    else
        m_network->loadUserInfo(mac, userId);
}

void DeviceRegistrar::slotDeviceInfoDownloaded(bool isSuccess, QHash<NetworkManager::DataType, QVariant> deviceInfo,
                                               QString errorString)
{
    if (!attached())
        return;
    const QString mac = deviceInfo.value(NetworkManager::MacAddressKey).toString();
    if (!isSuccess) {
        qCWarning(lcDeviceManager, "%s",
                  qUtf8Printable(ActivityText::fill(kDeviceInfoFailedText, {mac, errorString})));
        m_firmwareOffered.remove(mac);
        m_progress->finish(mac, PublishingProgress::Failed, tr("the cloud's record could not be loaded: %1").arg(errorString));
        return;
    }

    QHash<int, QVariant> updates{{DeviceInfo::Label, deviceInfo.value(NetworkManager::LabelKey)},
                                 {DeviceInfo::Location, deviceInfo.value(NetworkManager::LocationKey)},
                                 {DeviceInfo::LastPairedAt, deviceInfo.value(NetworkManager::LastPairedAtKey)}};
    // A device the cloud has no name for keeps the name it told us itself.
    const QString cloudName = deviceInfo.value(NetworkManager::NameKey).toString();
    if (!cloudName.isEmpty())
        updates.insert(DeviceInfo::Name, cloudName);

    if (deviceInfo.value(NetworkManager::ToEraseKey).toBool()) {
        m_progress->noteDeviceJob(mac);
        m_progress->reach(mac, PublishingProgress::Erasing);
        m_devices->eraseDevice(mac);
        return;
    }

    addOwnerFields(mac, deviceInfo.value(NetworkManager::UserIdKey).toInt(), &updates);
    m_devices->setDeviceValues(mac, updates);

    const int status = m_devices->deviceValue(mac, DeviceInfo::Status).toInt();
    if (status == DeviceInfo::Connected || status == DeviceInfo::Error)
        m_devices->setBrightness(mac, deviceInfo.value(NetworkManager::BrightnessKey).toInt());

    const QString fwVersion = deviceText(mac, DeviceInfo::FwVersion);
    if (deviceInfo.value(NetworkManager::FirmwareRevisionKey).toString() != fwVersion
        || deviceInfo.value(NetworkManager::HardwareRevisionKey).toString() != deviceText(mac, DeviceInfo::PlantNumber))
        updateCloudRecord(mac, {}, {}, QDateTime(), QString(), false, false);

    const bool firmwareOffered = m_firmwareOffered.remove(mac);
    if (firmwareOffered || m_devices->isUpgrading(deviceText(mac, DeviceInfo::SerialNumber))) {
        m_progress->finish(mac, PublishingProgress::NextPass);
        return;
    }
    if (belowMinimum(fwVersion)) {
        warnBelowMinimum(mac);
        m_progress->finish(mac, PublishingProgress::Failed,
                           tr("firmware %1 is below the minimum %2").arg(fwVersion, m_minFwVersion));
        return;
    }
    if (m_devices->deviceValue(mac, DeviceInfo::NotActivated).toBool()) {
        m_progress->finish(mac, PublishingProgress::Failed, tr("the device is not activated in the cloud"));
        return;
    }
    if (mac.isEmpty())
        return;
    if (compareVersions(fwVersion, MinCampaignFwVersion) < 0) {
        m_progress->finish(mac, PublishingProgress::Failed,
                           tr("firmware %1 cannot take campaigns (%2 or later needed)").arg(fwVersion, MinCampaignFwVersion));
        return;
    }
    emit campaignWanted(mac);
}

void DeviceRegistrar::onUserInfoLoaded(bool isSuccess, QString deviceMAC, UserInfo *userInfo, QString errorString)
{
    // The record stays the facade's: it is read here and never kept.
    if (!attached())
        return;
    if (!isSuccess) {
        qWarning().noquote() << kUserInfoFailedText + errorString + QLatin1Char('\'') + deviceMAC + QLatin1Char('\'');
        return;
    }
    m_devices->setDeviceValues(deviceMAC, userFields(userInfo));
}

void DeviceRegistrar::onDeviceInfoUpdated(QString macAddress, QHash<NetworkManager::DataType, QVariant> deviceInfo)
{
    if (!attached())
        return;
    // The answer after a failed update holds nothing but empty defaults: only
    // values the cloud actually sent are applied, so its record is never blanked.
    static const QHash<NetworkManager::DataType, int> fields{{NetworkManager::NameKey, DeviceInfo::Name},
                                                             {NetworkManager::LabelKey, DeviceInfo::Label},
                                                             {NetworkManager::LocationKey, DeviceInfo::Location},
                                                             {NetworkManager::LastPairedAtKey, DeviceInfo::LastPairedAt}};
    QHash<int, QVariant> updates;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        const QVariant value = deviceInfo.value(it.key());
        const bool present = value.type() == QVariant::DateTime ? value.toDateTime().isValid()
                                                                : !value.toString().isEmpty();
        if (present)
            updates.insert(it.value(), value);
    }
    addOwnerFields(macAddress, deviceInfo.value(NetworkManager::UserIdKey).toInt(), &updates);
    m_devices->setDeviceValues(macAddress, updates);

    auto inFlight = m_cloudUpdatesInFlight.find(macAddress);
    if (inFlight != m_cloudUpdatesInFlight.end() && --inFlight.value() <= 0) {
        m_cloudUpdatesInFlight.erase(inFlight);
        emit cloudRecordSettled(macAddress);
        if (m_cloudUpdatesInFlight.isEmpty())
            emit allCloudRecordsSettled();
    }
}

void DeviceRegistrar::updateCloudRecord(const QString &mac, const QStringList &tamoIds, const QStringList &postIds,
                                        const QDateTime &lastPairedAt, const QString &name, bool erased, bool withIds)
{
    ++m_cloudUpdatesInFlight[mac];
    m_network->updateDeviceInfo(mac, tamoIds, postIds, lastPairedAt, deviceText(mac, DeviceInfo::FwVersion), name,
                                applicationIdentity(), deviceText(mac, DeviceInfo::DeviceSerial),
                                deviceText(mac, DeviceInfo::PlantNumber), erased, withIds);
}

void DeviceRegistrar::sendDeviceContentUUIDs(QString deviceMAC, bool isSuccess, QStringList imageUuids,
                                             QStringList slideShowUuids)
{
    if (!attached())
        return;
    if (!isSuccess) {
        qWarning().noquote() << kListingFailedText + deviceMAC;
        return;
    }
    updateCloudRecord(deviceMAC, withoutDuplicates(imageUuids), withoutDuplicates(slideShowUuids),
                      QDateTime::currentDateTime(), deviceText(deviceMAC, DeviceInfo::Name), false, true);
}

void DeviceRegistrar::sendDeviceErased(QString deviceMAC, bool isSuccess)
{
    if (!attached())
        return;
    if (!isSuccess) {
        qWarning().noquote() << kEraseFailedText + deviceMAC;
        m_progress->finish(deviceMAC, PublishingProgress::Failed, tr("the device's content could not be erased"));
        return;
    }
    updateCloudRecord(deviceMAC, {}, {}, QDateTime::currentDateTime(), QString(), true, true);
    m_progress->reach(deviceMAC, PublishingProgress::Erased);
    // The campaign follows on the next pass, once the cloud no longer asks for the erase.
    m_progress->finish(deviceMAC, PublishingProgress::NextPass);
}
