#pragma once

#include "DfuJob.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QProcess>
#include <QStringList>

class QSerialPort;

// Flashes firmware files onto devices, one after the other, on its own thread:
// switches each device into its boot loader through the console, runs the
// firmware tool to download the file (retrying while the device is not yet
// there), and makes the device leave the boot loader.
class DfuUpgrader : public QObject
{
    Q_OBJECT

public:
    static const QString ToolNotFoundText;        // "Device firmware upgrade tool not found in '%1'"
    static const QString ConnectFailedText;       // "Failed connect to device '%1'"
    static const QString NoDfuDeviceToolText;     // the tool's own words on standard error
    static const QString CannotFindDfuDeviceText; // "Cannot find DFU device"
    static constexpr int kMaxDownloadAttempts = 6;

    explicit DfuUpgrader(QObject *parent = nullptr);
    ~DfuUpgrader() override;

    // Where the tool is looked for: $TAMO_DFU_UTIL when set; else "dfu-util" next
    // to the executable, then in the current directory, then on PATH. When none
    // exists, the path tried last (the current directory's) is returned.
    static QString locateTool();
    QString toolPath() const;

    void setDevices(const QList<DfuJob> &jobs);
    void stop();
    bool isBusy() const;
    bool isUpgrading(const QString &serialNumber) const;

    static QStringList downloadArguments(const DfuJob &job);
    static QStringList leaveArguments(const DfuJob &job, const QString &temporaryFile);

signals:
    void allDevicesUpgraded();
    void started(QString deviceSerial);
    void finished(QString deviceSerial, bool isSuccess, QString errorString);
    // Download progress of the device being flashed, at 25, 50, 75 and 100 %.
    void progress(QString deviceSerial, int percent);

public slots:
    void run();
    void dfuUpgradeProgress();
    void dfuUpgradeFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void dfuErrorOccurred(QProcess::ProcessError error);

private:
    bool upgrade(const DfuJob &job);
    bool switchToDfuMode(QSerialPort &port, const DfuJob &job);
    QByteArray readConsole(QSerialPort &port, int chunkMs);
    bool runTool(const QStringList &arguments);
    void reportProgress(const QByteArray &output);

    const QString m_toolPath;
    QString m_errorString;
    int m_state = 0;
    QProcess *m_process = nullptr;
    QList<DfuJob> m_queue;
    DfuJob m_current;
    mutable QMutex m_mutex;

    // Progress of the download that runs now, for the activity log.
    QByteArray m_progressTail;
    int m_lastMilestone = 0;
};
