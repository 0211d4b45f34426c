#include "DevicesManager.h"

#include "BaseCommand.h"
#include "CloudAddresses.h"
#include "CommandLists.h"
#include "CommandRunner.h"
#include "ContentIds.h"
#include "DeviceInitializer.h"
#include "DevicesModel.h"
#include "DevicesTracker.h"
#include "DfuUpgrader.h"
#include "LogCategories.h"
#include "Timings.h"
#include "TransferCommandLists.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>
#include <QUrl>
#include <QVersionNumber>

#include <algorithm>

const QString DevicesManager::MinimumFirmwareVersion = QStringLiteral("1.5.28");

namespace {

const QString kReadingText = QStringLiteral("Reading MAC and Name from device '%1' with serial number '%2'");
const QString kRpcReadFailedText = QStringLiteral("Failed read device info via commnds");
const QString kNotInitializingText = QStringLiteral("Device not found in initialization list - ");
const QString kConnectedText = QStringLiteral("Connected %1 device(s)");
const QString kDisconnectedText = QStringLiteral("Disonnected %1 device(s)");
const QString kTransferStartedText = QStringLiteral(
    "Started transfer file(s) to device '%1'. <b>Please wait, Publishing has begun. Do not unplug devices until finished.</b>");
const QString kTransferFinishedText = QStringLiteral("Finished transfer file(s) to device '%1'");
const QString kTransferFailedText = QStringLiteral("During transfer file(s) to device '%1' occured error: '%2'");
const QString kDeleteStartedText = QStringLiteral("Started delete file(s) from device '%1'");
const QString kDeleteFinishedText = QStringLiteral("Finished delete file(s) from device '%1'");
const QString kEraseStartedText = QStringLiteral("Started erasing content from device '%1'");
const QString kEraseDoneText = QStringLiteral("Success. Content has been erased.");
const QString kEraseFailedText = QStringLiteral("Failed to erase content from device '%1' with an error '%2'.");
const QString kUpgradeStartedText =
    QStringLiteral("Started device firmware update '%1'. <b>Please do not unplug devices until finished.</b>");
const QString kUpgradeDoneText =
    QStringLiteral("Firmware upgrade complete on device. Please wait while the device is being re-connected.");
const QString kUpgradeFailedText = QStringLiteral("Failed firmware upgrade on device '%1' with an error '%2'.");
const QString kUpgradeBusyText = QStringLiteral("Device FW is upgarading, please wait until it finish.");
const QString kUpgradeProgressText = QStringLiteral("Downloading firmware to device '%1': %2%");

// One constant text: the portal's address is written with the https scheme.
QString firmwareWarningText()
{
    QUrl portal(CloudAddresses::portalUrl());
    portal.setScheme(QStringLiteral("https"));
    return QStringLiteral("<b>TAMO Device '%1' requires Firmware (FW) upgrade. Please go to ")
        + portal.toString(QUrl::StripTrailingSlash)
        + QStringLiteral("/settings to download the latest FW file and the FW Upgrade Tool.</b>");
}

bool takesPartInJobs(int status)
{
    return status == DeviceInfo::Connected || status == DeviceInfo::Error;
}

QStringList withoutDuplicates(const QStringList &list)
{
    QStringList unique;
    for (const QString &item : list)
        if (!unique.contains(item))
            unique << item;
    return unique;
}

QStringList idsOf(const QVariant &result)
{
    if (!result.isValid())
        return {};
    if (result.type() == QVariant::StringList)
        return result.toStringList();
    if (result.type() == QVariant::ByteArray)
        return bytesToIds(result.toByteArray());
    return {result.toString()};
}

} // namespace

DevicesManager::DevicesManager(QObject *parent)
    : QObject(parent)
    , m_model(new DevicesModel(this))
    , m_tracker(new DevicesTracker(m_model, this))
    , m_dfuThread(new QThread(this))
    , m_dfuUpgrader(new DfuUpgrader)
{
    DeviceInfo::registerMetaTypes();
    qRegisterMetaType<QMap<int, QVariant>>("QMap<int,QVariant>");
    qRegisterMetaType<QVector<QString>>("QVector<QString>");
    QThreadPool::globalInstance()->setMaxThreadCount(kMaxPoolThreads);

    connect(m_tracker, &DevicesTracker::devicesReady, this, &DevicesManager::slotDevicesDetected);
    connect(m_tracker, &DevicesTracker::devicesRemoved, this, &DevicesManager::slotDevicesRemoved);

    m_dfuThread->setObjectName(QStringLiteral("Firmware upgrade"));
    m_dfuUpgrader->moveToThread(m_dfuThread);
    connect(m_dfuThread, &QThread::started, m_dfuUpgrader, &DfuUpgrader::run);
    connect(m_dfuUpgrader, &DfuUpgrader::started, this, &DevicesManager::fwUpgradeStarted);
    connect(m_dfuUpgrader, &DfuUpgrader::finished, this, &DevicesManager::fwUpgradeFinished);
    connect(m_dfuUpgrader, &DfuUpgrader::progress, this, [this](const QString &serial, int percent) {
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(kUpgradeProgressText.arg(deviceName(serial)).arg(percent)));
        emit firmwareUpgradeProgress(serial, percent);
    });
    connect(m_dfuUpgrader, &DfuUpgrader::allDevicesUpgraded, this, [this] {
        m_dfuThread->quit();
        emit allDevicesUpgraded();
    });
}

DevicesManager::~DevicesManager()
{
    m_tracker->stop();
    {
        // Nothing of a runner may reach this object any more.
        QMutexLocker lock(&m_runnersMutex);
        for (const LiveRunner &live : qAsConst(m_runners)) {
            live.stop->store(true);
            if (live.runner)
                disconnect(live.runner, nullptr, this, nullptr);
        }
    }
    m_dfuUpgrader->stop();
    m_dfuThread->quit();
    m_dfuThread->wait();
    delete m_dfuUpgrader;
}

int DevicesManager::fieldForResult(int resultKey)
{
    switch (resultKey) {
    case BaseCommand::MacAddress: return DeviceInfo::MacAddress;
    case BaseCommand::DeviceName: return DeviceInfo::Name;
    case BaseCommand::FwVersion: return DeviceInfo::FwVersion;
    case BaseCommand::BoardId: return DeviceInfo::BoardId;
    case BaseCommand::DeviceSerial: return DeviceInfo::DeviceSerial;
    case BaseCommand::PlantNumber: return DeviceInfo::PlantNumber;
    case BaseCommand::Brightness: return DeviceInfo::Brightness;
    case BaseCommand::Battery: return DeviceInfo::Battery;
    case BaseCommand::DimLevel: return DeviceInfo::DimLevel;
    default: return -1;
    }
}

void DevicesManager::startTracking()
{
    m_tracker->start();
}

void DevicesManager::reset()
{
    m_tracker->stop();
    disconnectRunners();
    stopAll();
    m_model->clear();
    m_initializing.clear();
}

void DevicesManager::stopAll()
{
    stopUploading();
    stopUpgradingDevices();
}

bool DevicesManager::isIdle() const
{
    {
        QMutexLocker lock(&m_runnersMutex);
        for (const LiveRunner &live : m_runners)
            if (live.runner)
                return false;
    }
    return !m_dfuThread->isRunning() && !m_dfuUpgrader->isBusy();
}

DevicesModel *DevicesManager::devicesModel() const
{
    return m_model;
}

QVariant DevicesManager::deviceValue(const QString &mac, int key) const
{
    const int row = m_model->findRow(DeviceInfo::MacAddress, mac);
    return row < 0 ? QVariant() : m_model->device(row).value(key);
}

void DevicesManager::setDeviceValues(const QString &mac, const QHash<int, QVariant> &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        m_model->setValue(DeviceInfo::MacAddress, mac, it.key(), it.value());
}

QString DevicesManager::macOfSerial(const QString &serial) const
{
    const QVariant mac = m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::MacAddressRole);
    // A job on a device that was unplugged meanwhile reports after its row went.
    return mac.isValid() ? mac.toString() : m_lastMacOfSerial.value(serial);
}

QString DevicesManager::serialOfMac(const QString &mac) const
{
    return m_model->findValue(DevicesModel::MacAddressRole, mac, DevicesModel::SerialNumberRole).toString();
}

int DevicesManager::statusOfSerial(const QString &serial) const
{
    return m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::StatusRole).toInt();
}

QString DevicesManager::deviceName(const QString &serial) const
{
    return m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::NameRole).toString();
}

void DevicesManager::setStatus(const QString &serial, int status)
{
    // Only the firmware handlers change the status of a device being flashed.
    if (statusOfSerial(serial) == DeviceInfo::UpgradingFirmware)
        return;
    m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::Status, status);
}

void DevicesManager::writeResults(DeviceInfo &info, const QMap<int, QVariant> &results) const
{
    for (auto it = results.cbegin(); it != results.cend(); ++it) {
        const int field = fieldForResult(it.key());
        if (field >= 0)
            info.setValue(field, it.value());
    }
}

void DevicesManager::writeResultsToModel(const QString &serial, const QMap<int, QVariant> &results,
                                         bool skipNull)
{
    for (auto it = results.cbegin(); it != results.cend(); ++it) {
        const int field = fieldForResult(it.key());
        if (field < 0 || (skipNull && it.value().isNull()))
            continue;
        m_model->setValue(DeviceInfo::SerialNumber, serial, field, it.value());
    }
}

CommandRunner *DevicesManager::createJob(const QString &mac, CommandList commands, int startDelayMs)
{
    const QString port = m_model->findValue(DevicesModel::MacAddressRole, mac, DevicesModel::PortNameRole).toString();
    const QString runnerMac = m_model->findValue(DevicesModel::PortNameRole, port, DevicesModel::MacAddressRole).toString();
    const QString serial = m_model->findValue(DevicesModel::MacAddressRole, mac, DevicesModel::SerialNumberRole).toString();
    if (!serial.isEmpty())
        m_lastMacOfSerial.insert(serial, mac);
    return new CommandRunner(port, runnerMac, std::move(commands), startDelayMs);
}

CommandRunner *DevicesManager::createJobForSerial(const QString &serial, CommandList commands, int startDelayMs)
{
    // By serial number: a device whose MAC could not be read still has its port.
    const QString port = m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::PortNameRole).toString();
    return new CommandRunner(port, macOfSerial(serial), std::move(commands), startDelayMs);
}

void DevicesManager::startRunner(CommandRunner *runner)
{
    QMutexLocker lock(&m_runnersMutex);
    // Drop the entries of runners that are gone.
    m_runners.erase(std::remove_if(m_runners.begin(), m_runners.end(),
                                   [](const LiveRunner &live) { return !live.runner; }),
                    m_runners.end());
    m_runners.append(LiveRunner{runner, runner->deviceSerial(), runner->stopHandle()});
    // Runs on the pool thread while the runner is being destroyed there.
    connect(runner, &QObject::destroyed, this, [this](QObject *gone) {
        QMutexLocker guard(&m_runnersMutex);
        for (LiveRunner &live : m_runners)
            if (live.runner == gone)
                live.runner = nullptr;
    }, Qt::DirectConnection);
    QThreadPool::globalInstance()->start(runner);
}

void DevicesManager::disconnectRunners()
{
    // Under the mutex a runner cannot finish its destruction, so disconnecting is
    // safe. Only the job signals go: the destruction notice must still arrive.
    QMutexLocker lock(&m_runnersMutex);
    for (const LiveRunner &live : qAsConst(m_runners)) {
        if (!live.runner)
            continue;
        disconnect(live.runner, &CommandRunner::started, this, nullptr);
        disconnect(live.runner, &CommandRunner::finished, this, nullptr);
        if (auto *initializer = qobject_cast<DeviceInitializer *>(live.runner))
            disconnect(initializer, &DeviceInitializer::deviceReady, this, nullptr);
    }
}

void DevicesManager::stopRunnersOf(const QString &serial)
{
    QMutexLocker lock(&m_runnersMutex);
    for (const LiveRunner &live : qAsConst(m_runners))
        if (live.serial == serial)
            live.stop->store(true);
}

void DevicesManager::slotDevicesDetected(QVector<DeviceInfo> devicesInfo)
{
    for (const DeviceInfo &info : qAsConst(devicesInfo)) {
        const QString serial = info.value(DeviceInfo::SerialNumber).toString();
        if (m_initializing.contains(serial))
            continue; // announced again while its reading runs
        const QString port = info.value(DeviceInfo::PortName).toString();
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(kReadingText.arg(port, serial)));
        m_initializing.insert(serial, info);
        CommandRunner *runner = new CommandRunner(port, info.value(DeviceInfo::MacAddress).toString(),
                                                  deviceInfoCommands(), Timings::ms(Timings::DeviceStartDelay));
        connect(runner, &CommandRunner::finished, this, &DevicesManager::slotFinishedInit);
        startRunner(runner);
    }
}

void DevicesManager::slotFinishedInit(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                                      QString errorString)
{
    Q_UNUSED(errorString)
    if (!m_initializing.contains(deviceSerial)) {
        qWarning().noquote() << kNotInitializingText + deviceSerial;
        return;
    }
    DeviceInfo record = m_initializing.value(deviceSerial);
    writeResults(record, readDeviceData);
    if (!isSuccess) {
        qWarning() << kRpcReadFailedText << deviceSerial;
        m_initializing.insert(deviceSerial, record);
        auto *initializer = new DeviceInitializer(record);
        connect(initializer, &DeviceInitializer::deviceReady, this, &DevicesManager::slotDeviceInitialized);
        startRunner(initializer);
        return;
    }
    m_initializing.remove(deviceSerial);
    slotDeviceInitialized(record);
}

void DevicesManager::slotDeviceInitialized(DeviceInfo devices)
{
    const QString serial = devices.value(DeviceInfo::SerialNumber).toString();
    m_model->addDevices({devices});
    m_initializing.remove(serial);

    const QString firmware = devices.value(DeviceInfo::FwVersion).toString();
    if (!firmware.isEmpty()
        && QVersionNumber::fromString(firmware) < QVersionNumber::fromString(MinimumFirmwareVersion))
        qCWarning(lcDeviceManager, "%s",
                  qUtf8Printable(firmwareWarningText().arg(devices.value(DeviceInfo::MacAddress).toString())));
    emit devicesReady({devices});
    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kConnectedText.arg(1)));
}

void DevicesManager::slotDevicesRemoved(QVector<QString> devicesSerials)
{
    for (const QString &serial : qAsConst(devicesSerials)) {
        if (statusOfSerial(serial) == DeviceInfo::UpgradingFirmware)
            continue; // it drops off the bus while it is flashed; its row stays
        m_initializing.remove(serial);
        stopRunnersOf(serial);
    }
    m_model->removeDevices(devicesSerials);
    if (!devicesSerials.isEmpty())
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(kDisconnectedText.arg(devicesSerials.size())));
}

void DevicesManager::readDeviceUuids(const QString &mac)
{
    CommandList commands = readContentCommands();
    commands << freeSlotsCommands();
    CommandRunner *runner = createJob(mac, std::move(commands), 0);
    connect(runner, &CommandRunner::finished, this, &DevicesManager::slotFinishedReadUuids);
    startRunner(runner);
}

void DevicesManager::slotFinishedReadUuids(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                                           QString errorString)
{
    const QString mac = macOfSerial(deviceSerial);
    const QStringList images = readDeviceData.value(BaseCommand::ImageUuids).toStringList();
    const QStringList slideshows = readDeviceData.value(BaseCommand::SlideshowUuids).toStringList();
    const int freeSlots = readDeviceData.value(BaseCommand::FreeSlots, 0).toInt();
    setStatus(deviceSerial, isSuccess ? DeviceInfo::Connected : DeviceInfo::Error);
    emit gotUuidsOnDevice(mac, isSuccess, images, slideshows, freeSlots, errorString);
}

void DevicesManager::deleteFromDevice(const QString &mac, const QStringList &imagesUuids,
                                      const QStringList &gifsUuids, const QStringList &ssUuids)
{
    CommandRunner *runner = createJob(mac, deleteCommands(imagesUuids, gifsUuids, ssUuids), 0);
    connect(runner, &CommandRunner::started, this, &DevicesManager::slotStartedDeleteData);
    connect(runner, &CommandRunner::finished, this, &DevicesManager::slotFinishedDeleteData);
    startRunner(runner);
}

void DevicesManager::slotStartedDeleteData(QString deviceSerial)
{
    setStatus(deviceSerial, DeviceInfo::DeletingContent);
    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kDeleteStartedText.arg(macOfSerial(deviceSerial))));
}

void DevicesManager::slotFinishedDeleteData(QString deviceSerial, bool isSuccess)
{
    const QString mac = macOfSerial(deviceSerial);
    // A successful delete is followed by the upload.
    setStatus(deviceSerial, isSuccess ? DeviceInfo::Transferring : DeviceInfo::Error);
    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kDeleteFinishedText.arg(mac)));
    emit deletedOnDevice(mac, isSuccess);
}

void DevicesManager::uploadFiles(const QString &mac, const QVector<UploadItem> &items,
                                 const QVector<SlideShowInfo> &slideShows, const QString &defaultContentId,
                                 const QString &chargingUuid)
{
    CommandList commands = readContentCommands();
    for (const UploadItem &item : items) {
        if (item.frames.size() == 1 && !item.frames.first().data.isEmpty()) {
            commands << imageTransferCommands(idToBytes(item.uuid), item.frames.first().data);
        } else if (item.frames.size() > 1) {
            QVector<TransferFrame> frames;
            frames.reserve(item.frames.size());
            for (const ImageFrame &frame : item.frames)
                frames.append(TransferFrame{frame.data, frame.delay});
            commands << gifTransferCommands(idToBytes(item.uuid), frames);
        }
    }
    for (const SlideShowInfo &slideShow : slideShows) {
        QList<QByteArray> pictures;
        for (const QString &uuid : slideShow.uuids)
            pictures.append(idToBytes(uuid));
        const QByteArray id = idToBytes(slideShow.uuid);
        commands << slideshowTransferCommands(slideShow.timeInterval, id, pictures);
        // An empty charging picture goes out as eight zero bytes.
        commands << chargingDisplayCommands(id, slideShow.chargingUuid.isEmpty() ? QByteArray(8, '\0')
                                                                                 : idToBytes(slideShow.chargingUuid));
    }
    if (!defaultContentId.isEmpty())
        commands << activateCommands(idToBytes(defaultContentId));
    if (!chargingUuid.isEmpty())
        commands << chargingDisplayCommands(idToBytes(defaultContentId), idToBytes(chargingUuid));

    CommandRunner *runner = createJob(mac, std::move(commands), 0);
    connect(runner, &CommandRunner::started, this, &DevicesManager::slotStartedDataTransfer);
    connect(runner, &CommandRunner::finished, this, &DevicesManager::slotFinishedDataTransfer);
    startRunner(runner);
}

void DevicesManager::slotStartedDataTransfer(QString deviceSerial)
{
    const QString mac = macOfSerial(deviceSerial);
    setStatus(deviceSerial, DeviceInfo::Transferring);
    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kTransferStartedText.arg(mac)));
    emit filesUploadingStarted(mac);
}

void DevicesManager::slotFinishedDataTransfer(QString deviceSerial, bool isSuccess,
                                              QMap<int, QVariant> readDeviceData, QString errorString)
{
    const QString mac = macOfSerial(deviceSerial);
    if (isSuccess)
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(kTransferFinishedText.arg(mac)));
    else if (!errorString.isEmpty())
        qCWarning(lcDeviceManager, "%s", qUtf8Printable(kTransferFailedText.arg(mac, errorString)));

    QStringList slideshows = readDeviceData.value(BaseCommand::SlideshowUuids).toStringList();
    slideshows += idsOf(readDeviceData.value(BaseCommand::TransferredSlideshowId));
    QStringList images = readDeviceData.value(BaseCommand::ImageUuids).toStringList();
    images += idsOf(readDeviceData.value(BaseCommand::TransferredImageId));
    emit filesUploaded(mac, isSuccess, errorString, withoutDuplicates(slideshows), withoutDuplicates(images));
}

void DevicesManager::setBrightness(const QString &mac, int value)
{
    CommandList commands;
    QHash<int, QVariant> noted;
    if (deviceValue(mac, DeviceInfo::Brightness) != QVariant(value)) {
        commands << brightnessCommand(value);
        noted.insert(DeviceInfo::Brightness, value);
    }
    if (deviceValue(mac, DeviceInfo::DimLevel) != QVariant(value)) {
        commands << dimLevelCommand(value);
        noted.insert(DeviceInfo::DimLevel, value);
    }
    setDeviceValues(mac, noted);
    if (commands.isEmpty()) {
        emit settingsUpdated(mac, true);
        return;
    }
    CommandRunner *runner = createJob(mac, std::move(commands), 0);
    connect(runner, &CommandRunner::finished, this,
            [this, mac](const QString &, bool isSuccess) { emit settingsUpdated(mac, isSuccess); });
    startRunner(runner);
}

void DevicesManager::eraseDevice(const QString &mac)
{
    CommandRunner *runner = createJob(mac, eraseCommand(), 0);
    connect(runner, &CommandRunner::started, this, [this, mac](const QString &serial) {
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(kEraseStartedText.arg(mac)));
        setStatus(serial, DeviceInfo::DeletingContent);
    });
    connect(runner, &CommandRunner::finished, this,
            [this, mac](const QString &serial, bool isSuccess, const QMap<int, QVariant> &, const QString &error) {
                // A failed erase is reported as one: the cloud is told only what happened.
                if (isSuccess) {
                    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kEraseDoneText));
                    setStatus(serial, DeviceInfo::Connected);
                } else {
                    qCWarning(lcDeviceManager, "%s", qUtf8Printable(kEraseFailedText.arg(mac, error)));
                    setStatus(serial, DeviceInfo::Error);
                }
                emit deviceErased(mac, isSuccess);
            });
    startRunner(runner);
}

void DevicesManager::reinitialize(const QStringList &serials)
{
    for (const QString &serial : serials) {
        if (m_model->findRow(DeviceInfo::SerialNumber, serial) < 0 || !takesPartInJobs(statusOfSerial(serial)))
            continue;
        CommandRunner *runner = createJobForSerial(serial, deviceInfoCommands(),
                                                   Timings::ms(Timings::DeviceStartDelay));
        connect(runner, &CommandRunner::finished, this, &DevicesManager::slotFinishedReinit);
        startRunner(runner);
    }
}

void DevicesManager::slotFinishedReinit(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                                        QString errorString)
{
    Q_UNUSED(errorString)
    if (!isSuccess)
        return;
    writeResultsToModel(deviceSerial, readDeviceData, false);
    const int row = m_model->findRow(DeviceInfo::SerialNumber, deviceSerial);
    if (row >= 0)
        emit devicesReady({m_model->device(row)});
}

void DevicesManager::pollBattery()
{
    const QVector<DeviceInfo> devices = m_model->devices();
    for (const DeviceInfo &device : devices) {
        if (!takesPartInJobs(device.value(DeviceInfo::Status).toInt()))
            continue;
        CommandRunner *runner =
            createJobForSerial(device.value(DeviceInfo::SerialNumber).toString(), batteryCommands(), 0);
        connect(runner, &CommandRunner::finished, this, &DevicesManager::slotLoadedBattery);
        startRunner(runner);
    }
}

void DevicesManager::slotLoadedBattery(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                                       QString errorString)
{
    Q_UNUSED(errorString)
    if (isSuccess)
        writeResultsToModel(deviceSerial, readDeviceData, true);
}

void DevicesManager::upgradeFirmware(const QString &filePath, const QStringList &serials)
{
    QList<DfuJob> jobs;
    for (const QString &serial : serials) {
        const int row = m_model->findRow(DeviceInfo::SerialNumber, serial);
        if (row < 0 || !takesPartInJobs(statusOfSerial(serial)))
            continue;
        const DeviceInfo device = m_model->device(row);
        jobs.append(DfuJob{device.value(DeviceInfo::MacAddress).toString(),
                           device.value(DeviceInfo::PortName).toString(), serial, filePath});
    }
    m_dfuUpgrader->setDevices(jobs);
    if (!m_dfuThread->isRunning())
        m_dfuThread->start(QThread::InheritPriority);
}

void DevicesManager::upgradeFirmware(const QString &filePath)
{
    QStringList serials;
    for (const DeviceInfo &device : m_model->devices())
        if (takesPartInJobs(device.value(DeviceInfo::Status).toInt()))
            serials << device.value(DeviceInfo::SerialNumber).toString();
    upgradeFirmware(filePath, serials);
}

bool DevicesManager::isUpgrading(const QString &serial) const
{
    return m_dfuUpgrader->isUpgrading(serial);
}

void DevicesManager::fwUpgradeStarted(QString deviceSerial)
{
    m_model->setValue(DeviceInfo::SerialNumber, deviceSerial, DeviceInfo::Status, int(DeviceInfo::UpgradingFirmware));
    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kUpgradeStartedText.arg(deviceName(deviceSerial))));
}

void DevicesManager::fwUpgradeFinished(QString deviceSerial, bool isSuccess, QString errorString)
{
    m_model->setValue(DeviceInfo::SerialNumber, deviceSerial, DeviceInfo::Status,
                      int(isSuccess ? DeviceInfo::Connected : DeviceInfo::Error));
    if (isSuccess)
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(kUpgradeDoneText));
    else
        qCWarning(lcDeviceManager, "%s",
                  qUtf8Printable(kUpgradeFailedText.arg(deviceName(deviceSerial), errorString)));
    emit firmwareUpgradeFinished(deviceSerial, isSuccess, errorString);
}

void DevicesManager::stopUploading()
{
    QMutexLocker lock(&m_runnersMutex);
    for (const LiveRunner &live : qAsConst(m_runners))
        live.stop->store(true);
}

void DevicesManager::stopUpgradingDevices()
{
    if (!m_dfuThread->isRunning())
        return;
    m_dfuUpgrader->stop();
    qCInfo(lcDeviceManager, "%s", qUtf8Printable(kUpgradeBusyText));
}
