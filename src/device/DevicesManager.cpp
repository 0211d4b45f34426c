#include "DevicesManager.h"

#include "ActivityLog.h"
#include "BaseCommand.h"
#include "CloudAddresses.h"
#include "CommandLists.h"
#include "CommandRunner.h"
#include "ContentIds.h"
#include "DeviceInitializer.h"
#include "DeviceJobQueue.h"
#include "DevicesModel.h"
#include "DevicesTracker.h"
#include "DfuUpgrader.h"
#include "FirmwareRunProgress.h"
#include "FirmwareStatusKeeper.h"
#include "LogCategories.h"
#include "Timings.h"
#include "TransferCommandLists.h"

#include <QDebug>
#include <QThreadPool>
#include <QUrl>
#include <QVersionNumber>

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
const QString kNotConnectedText = QStringLiteral("Device '%1' is not connected");
const QString kUnreadableText = QStringLiteral("the device could not be read (%1)");
const QString kDuplicateMacText = QStringLiteral(
    "Device with serial number '%1' reports the MAC '%2' of the device with serial number '%3': it gets no content "
    "while both are attached.");

// One constant text: the portal's address is written with the https scheme.
QString firmwareWarningText()
{
    QUrl portal(CloudAddresses::portalUrl());
    portal.setScheme(QStringLiteral("https"));
    return QStringLiteral("<b>TAMO Device '%1' requires Firmware (FW) upgrade. Please go to ")
        + portal.toString(QUrl::StripTrailingSlash).toHtmlEscaped()
        + QStringLiteral("/settings to download the latest FW file and the FW Upgrade Tool.</b>");
}

void logInfo(const QString &line, const QStringList &values = {})
{
    ActivityLog::info(lcDeviceManager, ActivityLine(line, values));
}

void logWarning(const QString &line, const QStringList &values = {})
{
    ActivityLog::warning(lcDeviceManager, ActivityLine(line, values));
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

// One checkpoint per item, so that progress and the transferred ids count items.
QStringList appendPictures(CommandList &commands, const QVector<UploadItem> &items)
{
    QStringList planned;
    for (const UploadItem &item : items) {
        CommandList transfer;
        if (item.frames.size() == 1) {
            transfer = imageTransferCommands(idToBytes(item.uuid), item.frames.first().data);
        } else if (item.frames.size() > 1) {
            QVector<TransferFrame> frames;
            frames.reserve(item.frames.size());
            for (const ImageFrame &frame : item.frames)
                frames.append(TransferFrame{frame.data, frame.delay});
            transfer = gifTransferCommands(idToBytes(item.uuid), frames);
        }
        if (transfer.isEmpty())
            continue;
        commands << std::move(transfer);
        commands.markCheckpoint();
        planned << item.uuid;
    }
    return planned;
}

QStringList appendSlideshows(CommandList &commands, const QVector<SlideShowInfo> &slideShows)
{
    QStringList planned;
    for (const SlideShowInfo &slideShow : slideShows) {
        QList<QByteArray> pictures;
        for (const QString &uuid : slideShow.uuids)
            pictures.append(idToBytes(uuid));
        const QByteArray id = idToBytes(slideShow.uuid);
        commands << slideshowTransferCommands(slideShow.timeInterval, id, pictures);
        // An empty charging picture goes out as eight zero bytes.
        commands << chargingDisplayCommands(id, slideShow.chargingUuid.isEmpty() ? QByteArray(8, '\0')
                                                                                 : idToBytes(slideShow.chargingUuid));
        commands.markCheckpoint();
        planned << slideShow.uuid;
    }
    return planned;
}

} // namespace

DevicesManager::DevicesManager(QObject *parent)
    : QObject(parent)
    , m_model(new DevicesModel(this))
    , m_tracker(new DevicesTracker(m_model, this))
    , m_jobs(new DeviceJobQueue(this))
    , m_dfuUpgrader(new DfuUpgrader)
    , m_firmwareStatus(new FirmwareStatusKeeper(m_model, this))
    , m_firmwareRun(new FirmwareRunProgress(this))
{
    DeviceInfo::registerMetaTypes();
    qRegisterMetaType<QMap<int, QVariant>>("QMap<int,QVariant>");
    qRegisterMetaType<QVector<QString>>("QVector<QString>");
    QThreadPool::globalInstance()->setMaxThreadCount(kMaxPoolThreads);

    connect(m_tracker, &DevicesTracker::devicesReady, this, &DevicesManager::slotDevicesDetected);
    connect(m_tracker, &DevicesTracker::devicesRemoved, this, &DevicesManager::slotDevicesRemoved);
    connect(m_tracker, &DevicesTracker::devicesMoved, this, &DevicesManager::onDevicesMoved);
    connect(m_jobs, &DeviceJobQueue::due, this, &DevicesManager::startJob);
    connect(m_firmwareStatus, &FirmwareStatusKeeper::gaveUp, this,
            [this](const QString &serial) { removeRows({serial}); });

    // The upgrader reports from its lanes' threads: the news arrives queued.
    connect(m_dfuUpgrader, &DfuUpgrader::started, this, &DevicesManager::onFirmwareStarted);
    connect(m_dfuUpgrader, &DfuUpgrader::progress, this, &DevicesManager::onFirmwareProgress);
    connect(m_dfuUpgrader, &DfuUpgrader::finished, this, &DevicesManager::onFirmwareFinished);
    connect(m_dfuUpgrader, &DfuUpgrader::allDevicesUpgraded, this, &DevicesManager::onUpgraderIdle);
    connect(m_firmwareRun, &FirmwareRunProgress::changed, this, &DevicesManager::firmwareRunProgress);
}

DevicesManager::~DevicesManager()
{
    m_tracker->stop();
    for (DeviceJob *job : m_jobs->jobs())
        job->stop(); // their reports go nowhere once the jobs are gone with this object
    m_dfuUpgrader->abort();
    if (m_dfuUpgrader->waitForDone(Timings::ms(Timings::DfuShutdownWait))) {
        delete m_dfuUpgrader;
        return;
    }
    // Stuck in a system call: better left behind than destroyed under its feet.
    qWarning("The firmware upgrade threads did not end; leaving them behind");
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
    abandonJobs();
    stopUpgradingDevices();
    m_firmwareStatus->clear();
    m_firmwareRun->close();
    m_model->clear();
    m_initializing.clear();
    m_failedKind.clear();
}

void DevicesManager::stopAll()
{
    stopUploading();
    stopUpgradingDevices();
}

bool DevicesManager::isIdle() const
{
    return m_jobs->isEmpty() && !m_dfuUpgrader->isBusy();
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

// ---- The registry: model rows and records being read, by serial number.

DeviceAddress DevicesManager::addressOf(const QString &serial) const
{
    const auto reading = m_initializing.constFind(serial);
    const int row = m_model->findRow(DeviceInfo::SerialNumber, serial);
    if (reading == m_initializing.cend() && row < 0)
        return DeviceAddress{serial, QString(), QString()};
    const DeviceInfo device = reading != m_initializing.cend() ? *reading : m_model->device(row);
    return DeviceAddress{serial, device.value(DeviceInfo::PortName).toString(),
                         device.value(DeviceInfo::MacAddress).toString()};
}

QString DevicesManager::serialOfMac(const QString &mac) const
{
    return m_model->findValue(DevicesModel::MacAddressRole, mac, DevicesModel::SerialNumberRole).toString();
}

int DevicesManager::statusOf(const QString &serial) const
{
    return m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::StatusRole).toInt();
}

bool DevicesManager::isListed(const QString &serial) const
{
    return m_model->findRow(DeviceInfo::SerialNumber, serial) >= 0;
}

bool DevicesManager::isPresent(const QString &serial) const
{
    return isListed(serial) && !m_model->keptSerialNumbers().contains(serial);
}

QString DevicesManager::deviceName(const QString &serial) const
{
    return m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::NameRole).toString();
}

void DevicesManager::onDevicesMoved(QVector<DeviceInfo> devices)
{
    for (const DeviceInfo &device : qAsConst(devices))
        m_model->setValue(DeviceInfo::SerialNumber, device.value(DeviceInfo::SerialNumber), DeviceInfo::PortName,
                          device.value(DeviceInfo::PortName));
}

// ---- Jobs: one way in, one way out.

DeviceJob *DevicesManager::newJob(DeviceJob::Kind kind, const QString &serial, const QString &mac)
{
    auto *job = new DeviceJob(kind, serial, mac);
    connect(job, &DeviceJob::started, this, &DevicesManager::onJobStarted);
    connect(job, &DeviceJob::progressed, this, &DevicesManager::onJobProgress);
    connect(job, &DeviceJob::finished, this, &DevicesManager::onJobFinished);
    return job;
}

void DevicesManager::submit(DeviceJob *job)
{
    m_jobs->submit(job);
}

// The job's turn: its port is the one its device is on now.
void DevicesManager::startJob(DeviceJob *job)
{
    DeviceAddress device = addressOf(job->serial());
    device.macAddress = job->mac();
    if (device.portName.isEmpty()) {
        job->begin();
        job->finishLater(JobOutcome{false, {}, kNotConnectedText.arg(job->mac())});
        return;
    }
    if (job->kind() == DeviceJob::Firmware)
        return startFirmware(job, device);
    if (job->kind() != DeviceJob::ConsoleInitialise)
        return startRunner(job, new CommandRunner(device, std::move(job->commands)));
    job->record.setValue(DeviceInfo::PortName, device.portName);
    auto *initializer = new DeviceInitializer(job->record);
    connect(initializer, &DeviceInitializer::deviceReady, job, &DeviceJob::keepRecord);
    startRunner(job, initializer);
}

void DevicesManager::startRunner(DeviceJob *job, CommandRunner *runner)
{
    job->begin(runner);
    QThreadPool::globalInstance()->start(runner);
}

void DevicesManager::startFirmware(DeviceJob *job, const DeviceAddress &device)
{
    job->begin();
    m_dfuUpgrader->setDevices({DfuJob{device, job->firmwareFile}});
}

void DevicesManager::onJobStarted(DeviceJob *job)
{
    switch (job->kind()) {
    case DeviceJob::Delete: return logInfo(kDeleteStartedText, {job->mac()});
    case DeviceJob::Upload: return startedUpload(*job);
    case DeviceJob::Erase: return logInfo(kEraseStartedText, {job->mac()});
    case DeviceJob::Firmware: return fwUpgradeStarted(job->serial());
    default: return;
    }
}

void DevicesManager::onJobProgress(DeviceJob *job, int done, int total)
{
    setProgress(job->serial(), done, total);
    emit jobProgress(job->serial(), done, total);
}

void DevicesManager::onJobFinished(DeviceJob *job, const JobOutcome &outcome)
{
    setProgress(job->serial(), QVariant(), QVariant());
    noteOutcome(*job, outcome);
    dispatchOutcome(*job, outcome);
    m_jobs->release(job);
}

void DevicesManager::dispatchOutcome(const DeviceJob &job, const JobOutcome &outcome)
{
    const QString serial = job.serial();
    const bool ok = outcome.ok;
    switch (job.kind()) {
    case DeviceJob::Initialise: return slotFinishedInit(serial, ok, outcome.results, outcome.errorString);
    case DeviceJob::ConsoleInitialise: return slotDeviceInitialized(job.record);
    case DeviceJob::Listing: return finishedListing(job, outcome);
    case DeviceJob::Delete:
        logInfo(kDeleteFinishedText, {job.mac()});
        return emit deletedOnDevice(job.mac(), ok, job.ticket);
    case DeviceJob::Upload: return finishedUpload(job, outcome);
    case DeviceJob::Settings: return emit settingsUpdated(job.mac(), ok);
    case DeviceJob::Erase: return finishedErase(job, outcome);
    case DeviceJob::Reread: return slotFinishedReinit(serial, ok, outcome.results, outcome.errorString);
    case DeviceJob::Battery: return slotLoadedBattery(serial, ok, outcome.results, outcome.errorString);
    case DeviceJob::Firmware: return fwUpgradeFinished(serial, ok, outcome.errorString);
    }
}

// The device's last error is that of its latest failed job the operator asked
// for; a later job of the same kind that succeeds clears it. Reads done in
// passing (identity, battery) leave it alone.
void DevicesManager::noteOutcome(const DeviceJob &job, const JobOutcome &outcome)
{
    const QString serial = job.serial();
    const bool counts = job.kind() != DeviceJob::Initialise && job.kind() != DeviceJob::ConsoleInitialise
        && !job.isPeriodic();
    if (!counts || !isListed(serial))
        return;
    if (!outcome.ok && !outcome.errorString.isEmpty()) {
        m_failedKind.insert(serial, job.kind());
        m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::LastError, outcome.errorString);
    } else if (outcome.ok && m_failedKind.contains(serial) && m_failedKind.value(serial) == job.kind()) {
        m_failedKind.remove(serial);
        m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::LastError, QVariant());
    }
}

// Jobs that are not started are dropped; running ones are stopped, and what they
// report is not passed on.
void DevicesManager::abandonJobs()
{
    for (DeviceJob *job : m_jobs->jobs()) {
        disconnect(job, nullptr, this, nullptr);
        if (!job->isRunning()) {
            m_jobs->release(job);
            continue;
        }
        job->stop();
        connect(job, &DeviceJob::finished, m_jobs, &DeviceJobQueue::release);
    }
}

DeviceJob *DevicesManager::firmwareJob(const QString &serial, bool running) const
{
    for (DeviceJob *job : m_jobs->jobsOf(serial))
        if (job->kind() == DeviceJob::Firmware && job->isRunning() == running)
            return job;
    return nullptr;
}

// ---- Model bookkeeping.

void DevicesManager::setProgress(const QString &serial, const QVariant &done, const QVariant &total)
{
    m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::JobDone, done);
    m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::JobTotal, total);
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

void DevicesManager::removeRows(const QVector<QString> &serials)
{
    for (const QString &serial : serials)
        m_failedKind.remove(serial);
    m_model->removeDevices(serials);
    if (!serials.isEmpty())
        logInfo(kDisconnectedText, {QString::number(serials.size())});
}

// ---- Discovery and initialisation.

void DevicesManager::slotDevicesDetected(QVector<DeviceInfo> devicesInfo)
{
    for (const DeviceInfo &info : qAsConst(devicesInfo)) {
        const QString serial = info.value(DeviceInfo::SerialNumber).toString();
        const QString port = info.value(DeviceInfo::PortName).toString();
        if (m_initializing.contains(serial)) {
            // Announced again while it is read: it may be on another port by now.
            m_initializing[serial].setValue(DeviceInfo::PortName, port);
            continue;
        }
        logInfo(kReadingText, {port, serial});
        m_initializing.insert(serial, info);
        DeviceJob *job = newJob(DeviceJob::Initialise, serial, QString());
        job->commands = deviceInfoCommands();
        job->startDelayMs = Timings::ms(Timings::DeviceStartDelay);
        submit(job);
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
    DeviceInfo &record = m_initializing[deviceSerial];
    writeResults(record, readDeviceData);
    if (isSuccess)
        return slotDeviceInitialized(record);
    qWarning() << kRpcReadFailedText << deviceSerial;
    record.setValue(DeviceInfo::LastError, errorString);
    DeviceJob *job = newJob(DeviceJob::ConsoleInitialise, deviceSerial, QString());
    job->record = record;
    submit(job);
}

void DevicesManager::slotDeviceInitialized(DeviceInfo devices)
{
    const QString serial = devices.value(DeviceInfo::SerialNumber).toString();
    // The port it is on now: discovery may have seen it move while it was read.
    const QString port = addressOf(serial).portName;
    if (!port.isEmpty())
        devices.setValue(DeviceInfo::PortName, port);
    // Listed either way; without a MAC it says why it could not be read.
    const QString rpcError = devices.value(DeviceInfo::LastError).toString();
    if (devices.value(DeviceInfo::MacAddress).toString().isEmpty())
        devices.setValue(DeviceInfo::LastError,
                         kUnreadableText.arg(rpcError.isEmpty() ? tr("no answer") : rpcError));
    else
        devices.setValue(DeviceInfo::LastError, QVariant());
    m_model->addDevices({devices});
    m_initializing.remove(serial);

    const QString firmware = devices.value(DeviceInfo::FwVersion).toString();
    if (!firmware.isEmpty()
        && QVersionNumber::fromString(firmware) < QVersionNumber::fromString(MinimumFirmwareVersion))
        logWarning(firmwareWarningText(), {devices.value(DeviceInfo::MacAddress).toString()});
    if (!refuseDuplicateMac(devices))
        emit devicesReady({devices});
    logInfo(kConnectedText, {QString::number(1)});
}

// Content is addressed by MAC: whatever is meant for the device listed first
// must never reach the second.
bool DevicesManager::refuseDuplicateMac(const DeviceInfo &device)
{
    const QString serial = device.value(DeviceInfo::SerialNumber).toString();
    const QString mac = device.value(DeviceInfo::MacAddress).toString();
    const QString first = mac.isEmpty() ? QString() : serialOfMac(mac);
    if (first.isEmpty() || first == serial)
        return false;
    const QString reason = tr("the MAC %1 is already reported by the device %2").arg(mac, first);
    m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::Status, int(DeviceInfo::Error));
    m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::LastError, reason);
    logWarning(kDuplicateMacText, {serial, mac, first});
    emit deviceRefused(serial, reason);
    return true;
}

// A device being flashed drops off the bus on purpose: its row stays until its
// upgrade has ended, and only rows that go count as disconnected.
void DevicesManager::slotDevicesRemoved(QVector<QString> devicesSerials)
{
    QVector<QString> gone;
    for (const QString &serial : qAsConst(devicesSerials)) {
        if (statusOf(serial) == DeviceInfo::UpgradingFirmware) {
            m_model->removeDevice(serial);
            continue;
        }
        m_initializing.remove(serial);
        if (DeviceJob *job = m_jobs->running(serial))
            job->stop();
        gone.append(serial);
    }
    removeRows(gone);
}

// ---- Content jobs.

void DevicesManager::readDeviceUuids(const QString &mac, quint64 ticket)
{
    DeviceJob *job = newJob(DeviceJob::Listing, serialOfMac(mac), mac);
    job->ticket = ticket;
    job->commands = readContentCommands();
    job->commands << freeSlotsCommands();
    submit(job);
}

void DevicesManager::finishedListing(const DeviceJob &job, const JobOutcome &outcome)
{
    const QStringList images = outcome.results.value(BaseCommand::ImageUuids).toStringList();
    const QStringList slideshows = outcome.results.value(BaseCommand::SlideshowUuids).toStringList();
    const int freeSlots = outcome.results.value(BaseCommand::FreeSlots, 0).toInt();
    emit gotUuidsOnDevice(job.mac(), outcome.ok, images, slideshows, freeSlots, outcome.errorString, job.ticket);
}

void DevicesManager::deleteFromDevice(const QString &mac, const QStringList &imagesUuids,
                                      const QStringList &gifsUuids, const QStringList &ssUuids, quint64 ticket)
{
    DeviceJob *job = newJob(DeviceJob::Delete, serialOfMac(mac), mac);
    job->commands = deleteCommands(imagesUuids, gifsUuids, ssUuids);
    job->ticket = ticket;
    submit(job);
}

void DevicesManager::uploadFiles(const QString &mac, const QVector<UploadItem> &items,
                                 const QVector<SlideShowInfo> &slideShows, const QString &defaultContentId,
                                 const QString &chargingUuid, quint64 ticket)
{
    DeviceJob *job = newJob(DeviceJob::Upload, serialOfMac(mac), mac);
    job->ticket = ticket;
    job->commands = readContentCommands();
    job->uploadPictures = appendPictures(job->commands, items);
    job->uploadSlideshows = appendSlideshows(job->commands, slideShows);
    if (!defaultContentId.isEmpty())
        job->commands << activateCommands(idToBytes(defaultContentId));
    if (!chargingUuid.isEmpty())
        job->commands << chargingDisplayCommands(idToBytes(defaultContentId), idToBytes(chargingUuid));
    submit(job);
}

void DevicesManager::startedUpload(const DeviceJob &job)
{
    const int planned = job.uploadPictures.size() + job.uploadSlideshows.size();
    setProgress(job.serial(), 0, planned);
    emit jobProgress(job.serial(), 0, planned);
    logInfo(kTransferStartedText, {job.mac()});
    emit filesUploadingStarted(job.mac());
}

// Reports the device's listing from before the transfer and every item the
// transfer completed, each id once.
void DevicesManager::finishedUpload(const DeviceJob &job, const JobOutcome &outcome)
{
    if (outcome.ok)
        logInfo(kTransferFinishedText, {job.mac()});
    else if (!outcome.errorString.isEmpty())
        logWarning(kTransferFailedText, {job.mac(), outcome.errorString});
    const QStringList slideshows =
        outcome.results.value(BaseCommand::SlideshowUuids).toStringList() + job.transferredSlideshows();
    const QStringList images = outcome.results.value(BaseCommand::ImageUuids).toStringList() + job.transferredPictures();
    emit filesUploaded(job.mac(), outcome.ok, outcome.errorString, withoutDuplicates(slideshows),
                       withoutDuplicates(images), job.ticket);
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
    DeviceJob *job = newJob(DeviceJob::Settings, serialOfMac(mac), mac);
    job->commands = std::move(commands);
    submit(job);
}

void DevicesManager::eraseDevice(const QString &mac, quint64 ticket)
{
    DeviceJob *job = newJob(DeviceJob::Erase, serialOfMac(mac), mac);
    job->commands = eraseCommand();
    job->ticket = ticket;
    submit(job);
}

// A failed erase is reported as one: the cloud is told only what happened.
void DevicesManager::finishedErase(const DeviceJob &job, const JobOutcome &outcome)
{
    if (outcome.ok)
        logInfo(kEraseDoneText);
    else
        logWarning(kEraseFailedText, {job.mac(), outcome.errorString});
    emit deviceErased(job.mac(), outcome.ok, job.ticket);
}

// ---- Reads in passing: they give way to any other job of their device, and the
// next heartbeat asks again.

void DevicesManager::reinitialize(const QStringList &serials)
{
    for (const QString &serial : serials) {
        if (!isPresent(serial) || !takesPartInJobs(statusOf(serial)) || !m_jobs->jobsOf(serial).isEmpty())
            continue;
        DeviceJob *job = newJob(DeviceJob::Reread, serial, addressOf(serial).macAddress);
        job->commands = deviceInfoCommands();
        job->startDelayMs = Timings::ms(Timings::DeviceStartDelay);
        submit(job);
    }
}

void DevicesManager::slotFinishedReinit(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                                        QString errorString)
{
    Q_UNUSED(errorString)
    if (!isSuccess)
        return;
    const bool wasUnread = addressOf(deviceSerial).macAddress.isEmpty();
    writeResultsToModel(deviceSerial, readDeviceData, false);
    if (wasUnread && !m_failedKind.contains(deviceSerial))
        m_model->setValue(DeviceInfo::SerialNumber, deviceSerial, DeviceInfo::LastError, QVariant());
    const int row = m_model->findRow(DeviceInfo::SerialNumber, deviceSerial);
    if (row >= 0 && !refuseDuplicateMac(m_model->device(row)))
        emit devicesReady({m_model->device(row)});
}

void DevicesManager::pollBattery()
{
    const QVector<DeviceInfo> devices = m_model->devices();
    for (const DeviceInfo &device : devices) {
        const QString serial = device.value(DeviceInfo::SerialNumber).toString();
        if (!takesPartInJobs(device.value(DeviceInfo::Status).toInt()) || !isPresent(serial)
            || !m_jobs->jobsOf(serial).isEmpty())
            continue;
        DeviceJob *job = newJob(DeviceJob::Battery, serial, device.value(DeviceInfo::MacAddress).toString());
        job->commands = batteryCommands();
        submit(job);
    }
}

void DevicesManager::slotLoadedBattery(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                                       QString errorString)
{
    Q_UNUSED(errorString)
    if (isSuccess)
        writeResultsToModel(deviceSerial, readDeviceData, true);
}

// ---- Firmware.

QStringList DevicesManager::upgradeFirmware(const QString &filePath, const QStringList &serials)
{
    QStringList accepted;
    for (const QString &serial : serials) {
        if (!isPresent(serial) || !FirmwareStatusKeeper::canUpgrade(statusOf(serial)) || accepted.contains(serial))
            continue;
        const DeviceJob *running = firmwareJob(serial, true);
        DeviceJob *waiting = firmwareJob(serial, false);
        if ((running && running->firmwareFile == filePath) || (waiting && waiting->firmwareFile == filePath))
            continue; // asked for already
        accepted << serial;
        if (waiting) {
            waiting->firmwareFile = filePath; // the newer request wins
            continue;
        }
        DeviceJob *job = newJob(DeviceJob::Firmware, serial, addressOf(serial).macAddress);
        job->firmwareFile = filePath;
        m_firmwareStatus->queued(serial);
        submit(job);
    }
    m_firmwareRun->add(accepted);
    return accepted;
}

QStringList DevicesManager::upgradeFirmware(const QString &filePath)
{
    QStringList serials;
    for (const DeviceInfo &device : m_model->devices())
        serials << device.value(DeviceInfo::SerialNumber).toString();
    return upgradeFirmware(filePath, serials);
}

bool DevicesManager::isUpgrading(const QString &serial) const
{
    return firmwareJob(serial, true) || firmwareJob(serial, false) || m_dfuUpgrader->isUpgrading(serial);
}

bool DevicesManager::isFirmwareRunning() const
{
    for (const DeviceJob *job : m_jobs->jobs())
        if (job->kind() == DeviceJob::Firmware)
            return true;
    return m_dfuUpgrader->isBusy();
}

void DevicesManager::onFirmwareStarted(const QString &serial)
{
    if (DeviceJob *job = firmwareJob(serial, true))
        job->markStarted();
}

void DevicesManager::onFirmwareProgress(const QString &serial, int percent)
{
    logInfo(kUpgradeProgressText, {deviceName(serial), QString::number(percent)});
    if (DeviceJob *job = firmwareJob(serial, true))
        job->markProgress(percent, 100);
}

void DevicesManager::onFirmwareFinished(const QString &serial, bool isSuccess, const QString &errorString)
{
    if (DeviceJob *job = firmwareJob(serial, true))
        job->finish(JobOutcome{isSuccess, {}, errorString});
}

void DevicesManager::onUpgraderIdle()
{
    if (isFirmwareRunning())
        return; // another device's upgrade waits for its turn
    m_firmwareRun->close();
    emit allDevicesUpgraded();
    emit firmwareIdle();
}

void DevicesManager::fwUpgradeStarted(QString deviceSerial)
{
    m_model->setValue(DeviceInfo::SerialNumber, deviceSerial, DeviceInfo::Status, int(DeviceInfo::UpgradingFirmware));
    logInfo(kUpgradeStartedText, {deviceName(deviceSerial)});
}

// A device that went into its boot loader and has not come back restarts: its
// row waits for it (FirmwareStatusKeeper).
void DevicesManager::fwUpgradeFinished(QString deviceSerial, bool isSuccess, QString errorString)
{
    m_model->setValue(DeviceInfo::SerialNumber, deviceSerial, DeviceInfo::Status,
                      int(isSuccess ? DeviceInfo::Connected : DeviceInfo::Error));
    if (isSuccess)
        logInfo(kUpgradeDoneText);
    else
        logWarning(kUpgradeFailedText, {deviceName(deviceSerial), errorString});
    emit firmwareUpgradeFinished(deviceSerial, isSuccess, errorString);
    m_firmwareRun->ended(deviceSerial, isSuccess);
    if (!m_initializing.contains(deviceSerial))
        m_firmwareStatus->flashed(deviceSerial, isSuccess);
}

void DevicesManager::stopUploading()
{
    for (DeviceJob *job : m_jobs->jobs()) {
        if (job->kind() == DeviceJob::Firmware)
            continue;
        if (job->isRunning())
            job->stop();
        else if (!job->isPeriodic() && job->kind() != DeviceJob::Initialise)
            job->finish(JobOutcome{}); // its caller hears back without the device being touched
    }
}

void DevicesManager::stopUpgradingDevices()
{
    const bool busy = isFirmwareRunning();
    m_dfuUpgrader->stop();
    // A job handed to the upgrader but not yet taken from its queue counts as
    // running; only the device being flashed now is left to finish.
    for (DeviceJob *job : m_jobs->jobs()) {
        if (job->kind() == DeviceJob::Firmware && (!job->isRunning() || !m_dfuUpgrader->isUpgrading(job->serial()))) {
            m_firmwareStatus->dropped(job->serial());
            m_firmwareRun->dropped(job->serial());
            m_jobs->release(job);
        }
    }
    if (!busy)
        return;
    logInfo(kUpgradeBusyText);
    if (!isFirmwareRunning())
        onUpgraderIdle();
}
