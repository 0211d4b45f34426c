#pragma once

#include "DeviceInfo.h"
#include "SlideShowInfo.h"
#include "UploadItem.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <atomic>
#include <memory>

class CommandList;
class CommandRunner;
class DevicesModel;
class DevicesTracker;
class DfuUpgrader;
class QThread;

// The one owner of everything device-side: discovery, the devices model, the
// per-device jobs (each a command runner on the global thread pool) and the
// firmware upgrader on its own thread. Lives on the GUI thread; every slot runs
// there, and the GUI thread never waits for a port or a process.
class DevicesManager : public QObject
{
    Q_OBJECT

public:
    static const QString MinimumFirmwareVersion; // "1.5.28"
    static constexpr int kMaxPoolThreads = 20;

    explicit DevicesManager(QObject *parent = nullptr);
    ~DevicesManager() override;

    void startTracking();
    void reset();
    void stopAll();
    bool isIdle() const;
    DevicesModel *devicesModel() const;

    QVariant deviceValue(const QString &mac, int key) const;
    void setDeviceValues(const QString &mac, const QHash<int, QVariant> &values);

    void setBrightness(const QString &mac, int value);
    void readDeviceUuids(const QString &mac);
    void deleteFromDevice(const QString &mac, const QStringList &imagesUuids,
                          const QStringList &gifsUuids, const QStringList &ssUuids);
    void uploadFiles(const QString &mac, const QVector<UploadItem> &items,
                     const QVector<SlideShowInfo> &slideShows, const QString &defaultContentId,
                     const QString &chargingUuid);
    void eraseDevice(const QString &mac);
    void upgradeFirmware(const QString &filePath, const QStringList &serials);
    void upgradeFirmware(const QString &filePath);
    bool isUpgrading(const QString &serial) const;
    void reinitialize(const QStringList &serials);
    void pollBattery();

    // Command result key -> device record key; -1 for results not kept.
    static int fieldForResult(int resultKey);

signals:
    void devicesReady(QVector<DeviceInfo> info);
    void filesUploadingStarted(QString deviceMAC);
    void filesUploaded(QString deviceMAC, bool isSuccess, QString errorString, QStringList ssUuids,
                       QStringList imagesUuids);
    void gotUuidsOnDevice(QString deviceMAC, bool isSuccess, QStringList imagesUuids,
                          QStringList slideshowUuids, int freeSlotsNumber, QString errorString);
    void deletedOnDevice(QString deviceMAC, bool success);
    void settingsUpdated(QString deviceMAC, bool success);
    void deviceErased(QString deviceMAC, bool success);
    void allDevicesUpgraded();
    // One device's firmware upgrade: download progress at 25, 50, 75 and 100 %,
    // and its outcome.
    void firmwareUpgradeProgress(QString deviceSerial, int percent);
    void firmwareUpgradeFinished(QString deviceSerial, bool isSuccess, QString errorString);

public slots:
    void slotDevicesRemoved(QVector<QString> devicesSerials);
    void slotStartedDataTransfer(QString deviceSerial);
    void slotFinishedDataTransfer(QString deviceSerial, bool isSuccess,
                                  QMap<int, QVariant> readDeviceData, QString errorString);
    void slotFinishedReadUuids(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                               QString errorString);
    void slotDeviceInitialized(DeviceInfo devices);
    void slotDevicesDetected(QVector<DeviceInfo> devicesInfo);
    void slotStartedDeleteData(QString deviceSerial);
    void slotFinishedDeleteData(QString deviceSerial, bool isSuccess);
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
    // A runner handed to the pool. The pool thread deletes it when it is done,
    // so `runner` is cleared, under the mutex, by its destruction; the stop flag
    // is shared and outlives it.
    struct LiveRunner {
        CommandRunner *runner = nullptr;
        QString serial;
        std::shared_ptr<std::atomic<bool>> stop;
    };

    // A job's runner for the device with that MAC, not yet started: the caller
    // connects its handlers, then hands it to startRunner(). A device missing from
    // the model gets a runner without a port, which reports failure at once.
    CommandRunner *createJob(const QString &mac, CommandList commands, int startDelayMs);
    CommandRunner *createJobForSerial(const QString &serial, CommandList commands, int startDelayMs);
    void startRunner(CommandRunner *runner);
    void stopRunnersOf(const QString &serial);
    void disconnectRunners();

    QString macOfSerial(const QString &serial) const;
    QString serialOfMac(const QString &mac) const;
    int statusOfSerial(const QString &serial) const;
    void setStatus(const QString &serial, int status);
    void writeResults(DeviceInfo &info, const QMap<int, QVariant> &results) const;
    void writeResultsToModel(const QString &serial, const QMap<int, QVariant> &results, bool skipNull);
    QString deviceName(const QString &serial) const;

    DevicesModel *m_model;
    DevicesTracker *m_tracker;
    QThread *m_dfuThread;
    DfuUpgrader *m_dfuUpgrader;
    QHash<QString, DeviceInfo> m_initializing;
    QHash<QString, QString> m_lastMacOfSerial; // of devices that had jobs
    mutable QMutex m_runnersMutex;
    QList<LiveRunner> m_runners;
};
