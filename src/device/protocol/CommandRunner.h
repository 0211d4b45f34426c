#pragma once

#include "CommandList.h"
#include "DeviceAddress.h"
#include "SerialLink.h"
#include "StopToken.h"

#include <QMap>
#include <QObject>
#include <QRunnable>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

class BaseCommand;
class PingRPCCommand;
class QSerialPort;

// Runs one list of commands against one device on a thread-pool thread: opens the
// device's port, executes the commands in order, collects their results by result
// key, closes the port and reports one `finished`. Deletes itself once the pool
// has run it.
//
// The port object lives on the pool thread only. stop() may be called from any
// thread; it takes effect at the next check, within a fraction of a second.
class CommandRunner : public QObject, public QRunnable
{
    Q_OBJECT

public:
    // The device is whom the job is for: its port is opened, its serial number
    // names it in the signals, its MAC goes into the traces and activity lines.
    CommandRunner(const DeviceAddress &device, CommandList commands);
    ~CommandRunner() override;

    void run() override;
    void stop();
    // The flag stop() sets, for callers that must be able to stop the runner
    // while the pool thread may be deleting it.
    StopToken stopToken() const;
    const DeviceAddress &device() const;

signals:
    void started(QString deviceSerial);
    // Checkpoints of the command list passed (see CommandList::markCheckpoint).
    void progress(QString deviceSerial, int done, int total);
    void finished(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                  QString errorString);

protected:
    // Executes the queue; false when a command failed.
    virtual bool processCommands(SerialLink &link);
    virtual void onProcessingDone(bool ok);

    // Reads the device's log and writes it to the debug trace.
    void readDeviceLogs(SerialLink &link);
    bool isStopRequested() const;
    void setErrorString(const QString &text);

private:
    // One command's last exchange, and whether the link was recovered after it
    // in a way that makes retrying the command's group worthwhile.
    struct Step {
        SerialLink::Answer answer;
        bool retry = false;
    };

    Step executeWithContinuation(SerialLink &link, BaseCommand &command, bool mayRecover);
    Step execute(SerialLink &link, BaseCommand &command, bool mayRecover);
    SerialLink::Answer pollWhileBusy(SerialLink &link);
    bool recover(SerialLink &link, const BaseCommand &command);
    bool fail(SerialLink &link, const BaseCommand &command, const Step &step);
    void keepResult(const BaseCommand &command);
    void reportProgress();
    void trace(const BaseCommand &command, const QByteArray &request, const Step &step) const;
    QString describe() const;

    const DeviceAddress m_device;
    CommandList m_commands;
    const int m_commandCount;
    const QVector<int> m_checkpoints;
    int m_checkpointsPassed = 0;
    const std::unique_ptr<PingRPCCommand> m_pingCommand;
    QMap<int, QVariant> m_readDeviceData;
    QString m_errorString;
    const StopToken m_stop;
};
