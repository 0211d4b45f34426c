#pragma once

#include "DfuJob.h"
#include "StopToken.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

// Flashes firmware files onto devices, up to Limits::MaxParallelUpgrades of
// them at once: each device's upgrade (DfuFlash) runs on a thread of its own,
// a lane, which then takes the next device waiting, until none is left. The
// firmware tool picks its device by serial number, so side-by-side runs do not
// meet.
class DfuUpgrader : public QObject
{
    Q_OBJECT

public:
    explicit DfuUpgrader(QObject *parent = nullptr);
    // Aborts, then waits for the lanes; see abort().
    ~DfuUpgrader() override;

    // Where the tool is looked for: $TAMO_DFU_UTIL when set; else "dfu-util" next
    // to the executable, then on PATH, never in the current directory. When none
    // exists, the path next to the executable is returned.
    static QString locateTool();
    QString toolPath() const;

    // Callable from any thread: queues the jobs and opens lanes for them.
    void setDevices(const QList<DfuJob> &jobs);
    // Drops the queued jobs; the devices being flashed are finished first.
    void stop();
    // Drops the queued jobs and ends the devices being flashed at once, their
    // tools killed: for the end of the application only.
    void abort();
    // True once no lane runs, within `msecs`.
    bool waitForDone(int msecs);
    bool isBusy() const;
    bool isUpgrading(const QString &serialNumber) const;

signals:
    // Every lane has ended, after at least one device.
    void allDevicesUpgraded();
    // These come from the lanes' threads.
    void started(QString deviceSerial);
    void finished(QString deviceSerial, bool isSuccess, QString errorString);
    // Download progress of a device being flashed, at 25, 50, 75 and 100 %.
    void progress(QString deviceSerial, int percent);

private:
    void runLane();
    // The lane is done with `done` (null at its start): its next device, or a
    // null job when the lane ends. `last` tells whether it was the last lane.
    DfuJob takeNext(const DfuJob &done, bool *last);
    void upgrade(const DfuJob &job);

    const QString m_toolPath;
    QList<DfuJob> m_queue;
    QList<DfuJob> m_current; // one per lane that holds a device
    int m_lanes = 0;         // lanes started and not ended
    mutable QMutex m_mutex;  // guards the three above
    StopToken m_abort;
    QThreadPool m_pool;
};
