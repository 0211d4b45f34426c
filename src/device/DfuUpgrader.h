#pragma once

#include "DfuJob.h"
#include "DfuToolOutput.h"
#include "StopToken.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QProcess>
#include <QStringList>

// Flashes firmware files onto devices, one after the other, on its own thread:
// makes sure the file is a whole firmware file, switches each device into its
// boot loader through the console, runs the firmware tool to download the file
// (again while the device is not yet there), and makes the device leave the
// boot loader.
class DfuUpgrader : public QObject
{
    Q_OBJECT

public:
    static const QString ToolNotFoundText;        // "Device firmware upgrade tool not found in '%1'"
    static const QString ConnectFailedText;       // "Failed connect to device '%1'"
    static const QString CannotFindDfuDeviceText; // "Cannot find DFU device"
    static const QString UnfitFileText;           // "Firmware file '%1' not flashed: %2"
    static constexpr int kMaxDownloadAttempts = 6;

    explicit DfuUpgrader(QObject *parent = nullptr);
    ~DfuUpgrader() override;

    // Where the tool is looked for: $TAMO_DFU_UTIL when set; else "dfu-util" next
    // to the executable, then on PATH, never in the current directory. When none
    // exists, the path next to the executable is returned.
    static QString locateTool();
    QString toolPath() const;

    // Callable from any thread; run() picks the jobs up.
    void setDevices(const QList<DfuJob> &jobs);
    // Drops the queued jobs; the device being flashed is finished first.
    void stop();
    // Drops the queued jobs and ends the device being flashed at once, the tool
    // killed: for the end of the application only.
    void abort();
    bool isBusy() const;
    bool isUpgrading(const QString &serialNumber) const;

    // The number of the menu item that restarts the device into its boot loader;
    // empty when the menu has none.
    static QString dfuMenuNumber(const QString &menu);
    static QStringList downloadArguments(const DfuJob &job);
    static QStringList leaveArguments(const DfuJob &job, const QString &temporaryFile);

signals:
    // The queue ran empty after at least one device.
    void allDevicesUpgraded();
    void started(QString deviceSerial);
    void finished(QString deviceSerial, bool isSuccess, QString errorString);
    // Download progress of the device being flashed, at 25, 50, 75 and 100 %.
    void progress(QString deviceSerial, int percent);

public slots:
    // Upgrades the queued devices until the queue is empty.
    void run();
    void dfuUpgradeProgress();
    void dfuUpgradeFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void dfuErrorOccurred(QProcess::ProcessError error);

private:
    // The steps of one device's upgrade.
    enum class Step { CheckFile, SwitchToDfu, Download, Leave, Done };
    // What one run of the tool came to.
    struct ToolRun {
        bool ok = false;
        QString errorString;
    };

    DfuJob takeNext();
    void upgrade(const DfuJob &job);
    Step runStep(Step step, const DfuJob &job);
    Step checkFile(const DfuJob &job);
    Step switchToDfu(const DfuJob &job);
    Step download(const DfuJob &job);
    Step leave(const DfuJob &job);
    Step fail(const QString &errorString);
    ToolRun runTool(const QStringList &arguments);
    bool waitForTool();
    ToolRun judgeRun(bool ended) const;
    void readProgress(const QByteArray &output);

    const QString m_toolPath;
    QProcess *m_process = nullptr;
    QList<DfuJob> m_queue;
    DfuJob m_current;
    mutable QMutex m_mutex;
    StopToken m_abort;

    // The device being flashed: the tool's output, and the outcome so far.
    DfuToolOutput m_output;
    QString m_processError;
    bool m_ok = false;
    QString m_errorString;
};
