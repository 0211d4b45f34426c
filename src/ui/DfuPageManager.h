#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class DevicesManager;
class NetworkManager;

// The small controller of the express firmware upgrade: while that path is
// active it re-reads the battery level of the attached devices every 30 s,
// starting with the first devices announced, and once the devices asked for
// have all been upgraded (or have failed) it says how that went.
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

signals:
    // How many devices were upgraded, and which were not and why, as the text
    // of the confirmation the page promises.
    void upgradesConfirmed(QString text, bool allUpgraded);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void startBatteryTimer();
    void stopBatteryTimer();
    void onDeviceUpgraded(const QString &serial, bool isSuccess, const QString &errorString);
    void onAllUpgraded();

    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    int m_batteryTimerId = 0;
    // The upgrades since the last confirmation.
    int m_upgraded = 0;
    QStringList m_failures;
};
