#include "DeviceRegistrar.h"

#include "ActivityLog.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "FirmwareOffers.h"
#include "LocalSettings.h"
#include "LogCategories.h"
#include "PublishingProgress.h"
#include "UserInfo.h"

#include <QDateTime>
#include <QDebug>
#include <QSysInfo>
#include <QVersionNumber>

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
const QString kFirmwareFailedText = QStringLiteral("Firmware offered for device '%1' was not installed: %2");

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

DeviceRegistrar::DeviceRegistrar(PublishingProgress *progress, FirmwareOffers *firmware, QObject *parent)
    : QObject(parent)
    , m_progress(progress)
    , m_firmware(firmware)
{
}

void DeviceRegistrar::setManagers(DevicesManager *devices, NetworkManager *network)
{
    m_devices = devices;
    m_network = network;
    if (!attached())
        m_cloudUpdatesInFlight.clear();
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

void DeviceRegistrar::startPass(const QString &mac, const QString &serial)
{
    m_progress->begin(mac, serial);
}

void DeviceRegistrar::onDevicesReady(const QVector<DeviceInfo> &devices)
{
    if (!attached())
        return;
    bool started = false;
    for (const DeviceInfo &device : devices) {
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        if (mac.isEmpty())
            continue;
        // Read afresh (plugged in again, say): what the device is now wins over
        // whatever an earlier pass of it still waits for.
        startPass(mac, device.value(DeviceInfo::SerialNumber).toString());
        started = true;
    }
    if (started)
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
    bool started = false;
    for (const DeviceInfo &device : model->devices()) {
        const int status = device.value(DeviceInfo::Status).toInt();
        if (status != DeviceInfo::Connected && status != DeviceInfo::Error)
            continue;
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        const QString serial = device.value(DeviceInfo::SerialNumber).toString();
        if (mac.isEmpty()) {
            unread << serial;
            continue;
        }
        // A device on its road has a job or an answer coming; one whose MAC
        // another device reports first never gets a pass of its own.
        if (m_progress->isOnRoad(mac) || deviceText(mac, DeviceInfo::SerialNumber) != serial)
            continue;
        startPass(mac, serial);
        started = true;
    }
    if (started) {
        m_network->loadFirmwareInfo();
        m_devices->pollBattery();
    }
    unread.removeAll(QString());
    if (!unread.isEmpty())
        m_devices->reinitialize(unread);
}

// One answer serves every pass that waits for it, whichever request it answers.
void DeviceRegistrar::onFwVersionLoaded(bool success, QString minFwVersion, QString errorString)
{
    if (!attached())
        return;
    const QList<PublishingRun *> waiting = m_progress->runsIn(PublishingRun::WaitingForMinimumFirmware);
    if (!success) {
        ActivityLog::warning(lcDeviceManager, ActivityLine(kMinFwFailedText, {errorString}));
        // Their passes end here; the next heartbeat starts new ones.
        for (PublishingRun *run : waiting)
            m_progress->finish(run, PublishingProgress::Failed,
                               tr("the minimum firmware version could not be loaded: %1").arg(errorString));
        return;
    }
    m_minFwVersion = minFwVersion;
    if (waiting.isEmpty())
        return;
    // Read afresh: a location saved a moment ago applies to the next registration.
    const QString location = LocalSettings::defaultLocation();
    for (PublishingRun *run : waiting) {
        m_progress->enter(run, PublishingRun::Registering);
        m_network->registerUsbDevice({{NetworkManager::FirmwareRevisionKey, deviceText(run->mac, DeviceInfo::FwVersion)},
                                      {NetworkManager::MacAddressKey, run->mac}},
                                     location, run->id);
    }
}

bool DeviceRegistrar::belowMinimum(const QString &fwVersion) const
{
    return compareVersions(m_minFwVersion, fwVersion) > 0;
}

void DeviceRegistrar::warnBelowMinimum(const QString &mac)
{
    ActivityLog::warning(lcDeviceManager, ActivityLine(kUpgradeAdviceText, {mac, m_minFwVersion}));
}

void DeviceRegistrar::slotRegisteredUsbDevice(QString deviceMAC, bool isSuccess, bool isActivated, QString location,
                                              UrlData newFw, QString errorString, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::Registering, "a registration")
                                    : nullptr;
    if (!run)
        return;
    const QString &mac = deviceMAC;
    if (!isSuccess) {
        ActivityLog::warning(lcDeviceManager, ActivityLine(kRegistrationFailedText, {mac, errorString}));
        return m_progress->finish(run, PublishingProgress::Failed, tr("registration failed: %1").arg(errorString));
    }

    QHash<int, QVariant> values{{DeviceInfo::NotActivated, !isActivated}};
    if (isActivated)
        values.insert(DeviceInfo::Location, location);
    m_devices->setDeviceValues(mac, values);
    m_progress->reach(run, PublishingProgress::Registered);
    run->activated = isActivated;
    run->firmwareOffer = newFw;

    if (!newFw.link.isEmpty()) {
        m_progress->reach(run, PublishingProgress::FirmwareOffered);
    } else {
        if (!m_devices->isUpgrading(run->serial) && belowMinimum(deviceText(mac, DeviceInfo::FwVersion)))
            warnBelowMinimum(mac);
        if (!isActivated)
            return m_progress->finish(run, PublishingProgress::Failed, tr("the device is not activated in the cloud"));
    }
    m_progress->enter(run, PublishingRun::LoadingRecord);
    m_network->loadDevicesInfo({mac}, run->id);
}

// --- the cloud's record of the device ----------------------------------------

void DeviceRegistrar::slotDeviceInfoDownloaded(bool isSuccess, QHash<NetworkManager::DataType, QVariant> deviceInfo,
                                               QString errorString, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::LoadingRecord, "the device's record")
                                    : nullptr;
    if (!run)
        return;
    const QString mac = run->mac;
    if (!isSuccess) {
        ActivityLog::warning(lcDeviceManager, ActivityLine(kDeviceInfoFailedText, {mac, errorString}));
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("the cloud's record could not be loaded: %1").arg(errorString));
    }
    if (deviceInfo.value(NetworkManager::ToEraseKey).toBool()) {
        // Nothing else of the record applies until the device is erased.
        m_progress->enter(run, PublishingRun::Erasing);
        m_progress->reach(run, PublishingProgress::Erasing);
        m_devices->eraseDevice(mac, run->id);
        return;
    }
    applyRecord(run, deviceInfo);
    if (run->firmwareOffer.link.isEmpty())
        return passGates(run);
    m_progress->enter(run, PublishingRun::FetchingFirmware);
    m_firmware->offer(run->serial, run->firmwareOffer, run->id);
}

void DeviceRegistrar::applyRecord(PublishingRun *run, const NetworkManager::DeviceHash &deviceInfo)
{
    const QString mac = run->mac;
    QHash<int, QVariant> updates{{DeviceInfo::Label, deviceInfo.value(NetworkManager::LabelKey)},
                                 {DeviceInfo::Location, deviceInfo.value(NetworkManager::LocationKey)},
                                 {DeviceInfo::LastPairedAt, deviceInfo.value(NetworkManager::LastPairedAtKey)}};
    // A device the cloud has no name for keeps the name it told us itself.
    const QString cloudName = deviceInfo.value(NetworkManager::NameKey).toString();
    if (!cloudName.isEmpty())
        updates.insert(DeviceInfo::Name, cloudName);
    addOwnerFields(mac, deviceInfo.value(NetworkManager::UserIdKey).toInt(), &updates);
    m_devices->setDeviceValues(mac, updates);

    const int status = m_devices->deviceValue(mac, DeviceInfo::Status).toInt();
    if (status == DeviceInfo::Connected || status == DeviceInfo::Error)
        m_devices->setBrightness(mac, deviceInfo.value(NetworkManager::BrightnessKey).toInt());

    if (deviceInfo.value(NetworkManager::FirmwareRevisionKey).toString() != deviceText(mac, DeviceInfo::FwVersion)
        || deviceInfo.value(NetworkManager::HardwareRevisionKey).toString() != deviceText(mac, DeviceInfo::PlantNumber))
        updateCloudRecord(mac, {}, {}, QDateTime(), QString(), false, false);
}

// A firmware offer that comes to nothing stops nothing: the failure is said,
// the campaign goes ahead, and the next pass offers the firmware again.
void DeviceRegistrar::onFirmwareOfferEnded(quint64 ticket, QString failure)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::FetchingFirmware, "a firmware offer")
                                    : nullptr;
    if (!run)
        return;
    if (!failure.isEmpty()) {
        ActivityLog::warning(lcDeviceManager, ActivityLine(kFirmwareFailedText, {run->mac, failure}));
        run->firmwareFailure = tr("firmware %1").arg(failure);
        m_progress->reach(run, PublishingProgress::FirmwareFailed, run->firmwareFailure);
    }
    passGates(run);
}

void DeviceRegistrar::passGates(PublishingRun *run)
{
    const QString fwVersion = deviceText(run->mac, DeviceInfo::FwVersion);
    if (m_devices->isUpgrading(run->serial))
        return m_progress->finish(run, PublishingProgress::NextPass);
    if (belowMinimum(fwVersion)) {
        warnBelowMinimum(run->mac);
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("firmware %1 is below the minimum %2").arg(fwVersion, m_minFwVersion));
    }
    if (!run->activated)
        return m_progress->finish(run, PublishingProgress::Failed, tr("the device is not activated in the cloud"));
    if (compareVersions(fwVersion, MinCampaignFwVersion) < 0)
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("firmware %1 cannot take campaigns (%2 or later needed)")
                                      .arg(fwVersion, MinCampaignFwVersion));
    emit campaignWanted(run);
}

void DeviceRegistrar::onErased(QString deviceMAC, bool isSuccess, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::Erasing, "an erase") : nullptr;
    if (!run)
        return;
    if (!isSuccess) {
        qWarning().noquote() << kEraseFailedText + deviceMAC;
        return m_progress->finish(run, PublishingProgress::Failed, tr("the device's content could not be erased"));
    }
    updateCloudRecord(deviceMAC, {}, {}, QDateTime::currentDateTime(), QString(), true, true);
    m_progress->reach(run, PublishingProgress::Erased);
    // The campaign follows on the next pass, once the cloud no longer asks for the erase.
    m_progress->finish(run, PublishingProgress::NextPass);
}

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
