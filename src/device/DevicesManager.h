#pragma once

#include "DeviceAddress.h"
#include "DeviceInfo.h"
#include "DeviceJob.h"
#include "SlideShowInfo.h"
#include "UploadItem.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>


class CommandList;
class CommandRunner;
class DeviceJobQueue;
class DevicesModel;
class DevicesTracker;
class DfuUpgrader;
class FirmwareRunProgress;
class FirmwareStatusKeeper;

// The one owner of everything device-side: discovery, the devices model, the
// per-device jobs (one at a time per device, each a command runner on the global
// thread pool or a firmware upgrade) and the firmware upgrader with its own
// threads. Lives on the GUI thread; every slot runs there, and the GUI thread
// never waits for a port or a process.
//
// Devices are known by USB serial number: a model row, or a record still being
// read, holds each one's MAC and the port discovery last found it on. A job
// remembers the MAC it was asked for; every result signal carries that MAC.
class DevicesManager : public QObject
{
    Q_OBJECT

public:
    static const QString MinimumFirmwareVersion; // "1.5.28"
    static constexpr int kMaxPoolThreads = 20;

    explicit DevicesManager(QObject *parent = nullptr);
    // Stops every job; a firmware download still running is cut off with its
    // tool. To let it finish, ask isFirmwareRunning(), call stopUpgradingDevices()
    // and wait for firmwareIdle() before destroying the manager.
    ~DevicesManager() override;

    void startTracking();
    void reset();
    void stopAll();
    bool isIdle() const;
    DevicesModel *devicesModel() const;

    QVariant deviceValue(const QString &mac, int key) const;
    void setDeviceValues(const QString &mac, const QHash<int, QVariant> &values);

    // Content jobs hand the caller's ticket back as the last argument of their
    // result signal. They leave the device's status alone: that is the caller's
    // to show (the publishing pass that asked for them).
    void setBrightness(const QString &mac, int value);
    void readDeviceUuids(const QString &mac, quint64 ticket = 0);
    void deleteFromDevice(const QString &mac, const QStringList &imagesUuids,
                          const QStringList &gifsUuids, const QStringList &ssUuids, quint64 ticket = 0);
    void uploadFiles(const QString &mac, const QVector<UploadItem> &items,
                     const QVector<SlideShowInfo> &slideShows, const QString &defaultContentId,
                     const QString &chargingUuid, quint64 ticket = 0);
    void eraseDevice(const QString &mac, quint64 ticket = 0);
    // The devices that take part (listed, on the bus, not busy with another
    // upgrade of the same file); they join the run of upgrades under way.
    QStringList upgradeFirmware(const QString &filePath, const QStringList &serials);
    QStringList upgradeFirmware(const QString &filePath);
    bool isUpgrading(const QString &serial) const;
    // A firmware upgrade is running or waiting for its device.
    bool isFirmwareRunning() const;
    void reinitialize(const QStringList &serials);
    void pollBattery();

    // Command result key -> device record key; -1 for results not kept.
    static int fieldForResult(int resultKey);

signals:
    void devicesReady(QVector<DeviceInfo> info);
    void filesUploadingStarted(QString deviceMAC);
    void filesUploaded(QString deviceMAC, bool isSuccess, QString errorString, QStringList ssUuids,
                       QStringList imagesUuids, quint64 ticket);
    void gotUuidsOnDevice(QString deviceMAC, bool isSuccess, QStringList imagesUuids,
                          QStringList slideshowUuids, int freeSlotsNumber, QString errorString, quint64 ticket);
    void deletedOnDevice(QString deviceMAC, bool success, quint64 ticket);
    void settingsUpdated(QString deviceMAC, bool success);
    void deviceErased(QString deviceMAC, bool success, quint64 ticket);
    void allDevicesUpgraded();
    // The job a device runs now has done `done` of `total`: items of an upload,
    // or a firmware download's percent of 100 (at 25, 50, 75 and 100).
    void jobProgress(QString deviceSerial, int done, int total);
    void firmwareUpgradeFinished(QString deviceSerial, bool isSuccess, QString errorString);
    // The run of firmware upgrades under way: `upgraded` of `total` devices, and
    // the text "n of m upgraded, about X min left" (FirmwareRunProgress).
    void firmwareRunProgress(int upgraded, int total, QString text);
    // The firmware thread holds no device and has nothing waiting.
    void firmwareIdle();
    // A device that is listed but gets no content, and why (it reports the MAC of another).
    void deviceRefused(QString deviceSerial, QString reason);

public slots:
    void slotDevicesRemoved(QVector<QString> devicesSerials);
    void slotDeviceInitialized(DeviceInfo devices);
    void slotDevicesDetected(QVector<DeviceInfo> devicesInfo);
    void slotFinishedInit(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                          QString errorString);
    void fwUpgradeStarted(QString deviceSerial);
    void fwUpgradeFinished(QString deviceSerial, bool isSuccess, QString errorString);
    void slotFinishedReinit(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                            QString errorString);
    void slotLoadedBattery(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                           QString errorString);
    void stopUploading();
    void stopUpgradingDevices();

private:
    // Who a device is and where it is now.
    DeviceAddress addressOf(const QString &serial) const;
    QString serialOfMac(const QString &mac) const;
    int statusOf(const QString &serial) const;
    bool isListed(const QString &serial) const;
    // Listed, and on the bus: not a row kept for a device that is away after its upgrade.
    bool isPresent(const QString &serial) const;
    QString deviceName(const QString &serial) const;
    void onDevicesMoved(QVector<DeviceInfo> devices);

    // The one way to make a job; submit() hands it to the queue, which starts
    // it when its device is free. Every job ends in onJobFinished().
    DeviceJob *newJob(DeviceJob::Kind kind, const QString &serial, const QString &mac);
    void submit(DeviceJob *job);
    void startJob(DeviceJob *job);
    void startRunner(DeviceJob *job, CommandRunner *runner);
    void startFirmware(DeviceJob *job, const DeviceAddress &device);
    void onJobStarted(DeviceJob *job);
    void onJobProgress(DeviceJob *job, int done, int total);
    void onJobFinished(DeviceJob *job, const JobOutcome &outcome);
    void dispatchOutcome(const DeviceJob &job, const JobOutcome &outcome);
    void noteOutcome(const DeviceJob &job, const JobOutcome &outcome);
    void abandonJobs();
    DeviceJob *firmwareJob(const QString &serial, bool running) const;

    // What each kind of job does when it starts and ends.
    void finishedListing(const DeviceJob &job, const JobOutcome &outcome);
    void startedUpload(const DeviceJob &job);
    void finishedUpload(const DeviceJob &job, const JobOutcome &outcome);
    void finishedErase(const DeviceJob &job, const JobOutcome &outcome);
    // A second device that reports the MAC of one already listed: listed with
    // an error naming the other, and never handed to the content pipeline.
    bool refuseDuplicateMac(const DeviceInfo &device);
    void onFirmwareStarted(const QString &serial);
    void onFirmwareProgress(const QString &serial, int percent);
    void onFirmwareFinished(const QString &serial, bool isSuccess, const QString &errorString);
    void onUpgraderIdle();

    void setProgress(const QString &serial, const QVariant &done, const QVariant &total);
    void writeResults(DeviceInfo &info, const QMap<int, QVariant> &results) const;
    void writeResultsToModel(const QString &serial, const QMap<int, QVariant> &results, bool skipNull);
    void removeRows(const QVector<QString> &serials);

    DevicesModel *m_model;
    DevicesTracker *m_tracker;
    DeviceJobQueue *m_jobs;
    DfuUpgrader *m_dfuUpgrader;
    FirmwareStatusKeeper *m_firmwareStatus;
    FirmwareRunProgress *m_firmwareRun;
    // Devices whose record is being read, by serial number.
    QHash<QString, DeviceInfo> m_initializing;
    // The kind of each listed device's latest failed job, until one of that kind succeeds.
    QHash<QString, DeviceJob::Kind> m_failedKind;
};
