#pragma once

#include <QObject>
#include <QString>

class AttachedDevicesWaiter;
class CliPrinter;
class DevicesManager;
class NetworkManager;
class PublishReport;
class PublishingSession;

// `tamo-cli publish`: logs in, then runs the window's publishing composition
// (the contents chef on both managers, with its heartbeat) over every attached
// device. Without watching it ends once every attached device reached a final
// state; watching, it runs until stopped.
class PublishRun : public QObject
{
    Q_OBJECT

public:
    // The exit code when the cloud refused the e-mail address or password: a
    // service that restarts on failure must not sign in again and again with them.
    static constexpr int kCredentialsRefusedExitCode = 3;

    PublishRun(DevicesManager *devices, NetworkManager *network, CliPrinter &printer, bool watch, int timeoutMs,
               QObject *parent = nullptr);
    ~PublishRun() override;

    void start(const QString &email, const QString &password);
    // The time-out passed, or the process was asked to stop.
    void stop(bool timedOut);

signals:
    void done(int exitCode);

private:
    void onLogined(bool success, const QString &errorString);
    void onDevicesAttached();
    void finishIfSettled();
    void finish(int exitCode);

    DevicesManager *m_devices;
    NetworkManager *m_network;
    CliPrinter &m_printer;
    const bool m_watch;
    const int m_timeoutMs;
    PublishingSession *m_session = nullptr;
    PublishReport *m_report = nullptr;
    AttachedDevicesWaiter *m_waiter = nullptr;
    bool m_attached = false;
    bool m_finished = false;
};
