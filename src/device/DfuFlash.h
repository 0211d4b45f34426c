#pragma once

#include "DfuJob.h"
#include "DfuToolOutput.h"
#include "StopToken.h"

#include <QObject>
#include <QProcess>
#include <QStringList>

// One device's firmware upgrade, start to end, on the thread that calls run():
// makes sure the file is a whole firmware file, switches the device into its boot loader through its console, runs the
// firmware tool to download the file (again while the device is not yet there),
// and makes the device leave the boot loader. The tool process is this object's
// own, and the tool is told the device's serial number, so several devices can
// be flashed side by side, each by its own object on its own thread.
class DfuFlash : public QObject
{
    Q_OBJECT

public:
    static const QString ToolNotFoundText;        // "Device firmware upgrade tool not found in '%1'"
    static const QString ConnectFailedText;       // "Failed connect to device '%1'"
    static const QString CannotFindDfuDeviceText; // "Cannot find DFU device"
    static const QString UnfitFileText;           // "Firmware file '%1' not flashed: %2"
    static constexpr int kMaxDownloadAttempts = 6;

    // `abort` ends the upgrade early, the tool killed: for the end of the application.
    DfuFlash(const DfuJob &job, const QString &toolPath, const StopToken &abort);
    ~DfuFlash() override;

    // Blocks until the device is done; true when the file was written.
    bool run();
    // Why the upgrade failed; empty after a success.
    QString errorString() const;

    // The number of the menu item that restarts the device into its boot loader;
    // empty when the menu has none.
    static QString dfuMenuNumber(const QString &menu);
    static QStringList downloadArguments(const DfuJob &job);
    static QStringList leaveArguments(const DfuJob &job, const QString &temporaryFile);

signals:
    // Download progress at 25, 50, 75 and 100 %, on the thread that runs it.
    void progress(QString deviceSerial, int percent);

public slots:
    void dfuUpgradeProgress();
    void dfuUpgradeFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void dfuErrorOccurred(QProcess::ProcessError error);

private:
    // The steps of the upgrade.
    enum class Step { CheckFile, SwitchToDfu, Download, Leave, Done };
    // What one run of the tool came to.
    struct ToolRun {
        bool ok = false;
        QString errorString;
    };

    Step runStep(Step step);
    Step checkFile();
    Step switchToDfu();
    Step download();
    Step leave();
    Step fail(const QString &errorString);
    ToolRun runTool(const QStringList &arguments);
    bool waitForTool();
    ToolRun judgeRun(bool ended) const;
    void readProgress(const QByteArray &output);

    const DfuJob m_job;
    const QString m_toolPath;
    const StopToken m_abort;
    QProcess *m_process;

    // The tool's output, and the outcome so far.
    DfuToolOutput m_output;
    QString m_processError;
    bool m_ok = false;
    QString m_errorString;
};
