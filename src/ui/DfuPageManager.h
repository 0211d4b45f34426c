#pragma once

#include <QObject>
#include <QPointer>

class DevicesManager;
class NetworkManager;

// The small controller of the express firmware upgrade: while that path is
// active it re-reads the battery level of the attached devices every 30 s,
// starting with the first devices announced.
class DfuPageManager : public QObject
{
    Q_OBJECT

public:
    explicit DfuPageManager(QObject *parent = nullptr);
    ~DfuPageManager() override;

    // Attaches to both managers; two nulls detach it: its connections go and
    // its timer stops, so nothing runs against a manager that was let go.
    void setup(DevicesManager *devices, NetworkManager *network);
    bool isBatteryTimerRunning() const { return m_batteryTimerId > 0; }

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void startBatteryTimer();
    void stopBatteryTimer();

    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    int m_batteryTimerId = 0;
};
