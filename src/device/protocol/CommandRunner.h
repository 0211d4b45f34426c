#pragma once

#include "CommandList.h"

#include <QMap>
#include <QObject>
#include <QRunnable>
#include <QSerialPort>
#include <QString>
#include <QVariant>

#include <atomic>
#include <memory>

class BaseCommand;
class PingRPCCommand;

// Runs one list of commands against one device on a thread-pool thread: opens the
// port, executes the commands in order (retry groups, multi-part answers, busy
// polling, port recovery), collects their results by result key, closes the port
// and reports one `finished`. Deletes itself once the pool has run it.
//
// The port object lives on the pool thread only. stop() may be called from any
// thread; it takes effect at the next check, within a fraction of a second.
class CommandRunner : public QObject, public QRunnable
{
    Q_OBJECT

public:
    CommandRunner(const QString &portName, const QString &macAddress, CommandList commands,
                  int startDelayMs = 0);
    ~CommandRunner() override;

    void run() override;
    void stop();
    // The flag stop() sets, for callers that must be able to stop the runner
    // while the pool thread may be deleting it.
    std::shared_ptr<std::atomic<bool>> stopHandle() const;

    QString portName() const;
    QString macAddress() const;
    // The USB serial number of the port, looked up when the runner was made.
    QString deviceSerial() const;
    bool isStopRequested() const;

signals:
    void started(QString deviceSerial);
    void finished(QString deviceSerial, bool isSuccess, QMap<int, QVariant> readDeviceData,
                  QString errorString);

protected:
    // Executes the queue; false when a command failed.
    virtual bool processCommands(QSerialPort *port);
    virtual void onOpenFailed(QSerialPort *port);
    virtual void onProcessingDone(QSerialPort *port, bool ok);

    // Close, wait, reopen, let the device settle.
    void resetPort(QSerialPort *port);
    // Reads the device's log and writes it to the debug trace.
    void readDeviceLogs(QSerialPort *port);
    // Sleeps, but returns early once a stop was requested.
    void pause(int ms) const;

    QMap<int, QVariant> &readDeviceData();
    void setErrorString(const QString &text);

private:
    // Both return true when the exchange did not end in success.
    bool executeWithContinuation(QSerialPort *port, BaseCommand *command, bool allowRecovery,
                                 bool readLogs);
    bool executeCommand(QSerialPort *port, BaseCommand *command, bool allowRecovery,
                        bool readLogs);
    enum class WaitResult { Data, TimedOut, Failed, Stopped };
    // Writes the request and collects the answer until it is complete, the port
    // fails, the wait runs out (`timedOut`) or a stop is requested.
    QByteArray exchange(QSerialPort *port, BaseCommand *command, const QByteArray &request,
                        bool *timedOut);
    WaitResult waitForData(QSerialPort *port, int timeoutMs);
    void recoverPort(QSerialPort *port, BaseCommand *command, bool readLogs);
    QString describe() const;

    const QString m_portName;
    const QString m_macAddress;
    const QString m_deviceSerial;
    CommandList m_commands;
    const std::unique_ptr<PingRPCCommand> m_pingCommand;
    QMap<int, QVariant> m_readDeviceData;
    QString m_errorString;
    // Shared, so that whoever stops the runner may keep the flag after the pool
    // thread has deleted the runner.
    const std::shared_ptr<std::atomic<bool>> m_stopRequested;
    bool m_retryRequested = false;
    const int m_startDelayMs;
    // The port's error at the end of the latest exchange, before it was cleared.
    QSerialPort::SerialPortError m_exchangeError = QSerialPort::NoError;
    QString m_exchangeErrorString;
};
