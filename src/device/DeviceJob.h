#pragma once

#include "CommandList.h"
#include "DeviceInfo.h"
#include "StopToken.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariant>

class CommandRunner;

// What a device job came to.
struct JobOutcome
{
    bool ok = false;
    QMap<int, QVariant> results;
    QString errorString;
};

// One piece of work for one device, as the devices manager schedules it: what it
// is, whom it is for (the MAC as it was known when the job was asked for), and
// what it needs to run. Lives on the GUI thread; the runner that does the work
// on the thread pool reports here.
class DeviceJob : public QObject
{
    Q_OBJECT

public:
    enum Kind { Initialise, ConsoleInitialise, Listing, Delete, Upload, Settings, Erase, Reread, Battery, Firmware };

    DeviceJob(Kind kind, const QString &serial, const QString &mac, QObject *parent = nullptr);

    Kind kind() const;
    QString serial() const;
    QString mac() const;
    // Periodic reads that give way to any other job of their device.
    bool isPeriodic() const;

    // What the job needs, set before it is submitted.
    CommandList commands;        // for a runner
    int startDelayMs = 0;        // before it joins its device's line
    DeviceInfo record;           // console initialisation: the record to fill
    QString firmwareFile;        // firmware upgrade
    QStringList uploadPictures;  // upload: the pictures, then the slideshows,
    QStringList uploadSlideshows; // one checkpoint of its command list each
    quint64 ticket = 0;          // the caller's number, handed back with the result

    bool isRunning() const;
    // Started by the queue when the job's turn came; watches the runner, if any.
    void begin(CommandRunner *runner = nullptr);
    void stop();
    // Ends a job that has no runner (or whose work is done elsewhere) through
    // the same way out as a runner's report, from the event loop.
    void finishLater(const JobOutcome &outcome);
    // Reports from outside a runner: the firmware upgrader.
    void markStarted();
    void markProgress(int done, int total);
    void finish(const JobOutcome &outcome);
    // Console initialisation: the record as the console filled it.
    void keepRecord(const DeviceInfo &filled);

    // Upload: the items transferred so far.
    QStringList transferredPictures() const;
    QStringList transferredSlideshows() const;

signals:
    void started(DeviceJob *job);
    void progressed(DeviceJob *job, int done, int total);
    void finished(DeviceJob *job, const JobOutcome &outcome);

private:
    void onRunnerProgress(const QString &serial, int done, int total);
    void onRunnerFinished(const QString &serial, bool ok, const QMap<int, QVariant> &results,
                          const QString &errorString);

    const Kind m_kind;
    const QString m_serial;
    const QString m_mac;
    bool m_running = false;
    int m_done = 0;
    bool m_finished = false;
    StopToken m_stop;
};
