#pragma once

#include "CloudSim.h"
#include "DevSim.h"
#include "PublishingProgress.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class DevicesManager;
class NetworkManager;
class PublishingSession;

// Publishing for one test over real sockets and pseudo-terminals: the cloud
// simulator serving a fixture over HTTPS, simulated devices on pseudo-terminals,
// the application's devices manager and cloud client logged in, and the
// publishing session the window and tamo-cli run. Every device's steps and
// outcomes are recorded, as tamo-cli would print them.
class PublishRig : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kEmail = "demo.manager@tamo.example";
    static constexpr const char *kPassword = "TamoDemo-2024";

    PublishRig();
    ~PublishRig() override;

    // The cloud simulator's demo fixture and its generated files, as the start
    // of a test's own.
    static QJsonObject demoFixture();
    static QMap<QString, QByteArray> demoFiles();
    static QString macOf(int index); // c4:4f:33:0a:0b:01 for device 1

    bool startCloud(const QJsonObject &fixture, const QMap<QString, QByteArray> &files,
                    const QStringList &faults = {});
    bool startDevices(int count, const QStringList &arguments = {});
    // Logs in, starts discovery, and waits until `count` devices stand in the model.
    bool loginAndAttach(int count);
    // Puts items straight onto a device, as an earlier campaign would have.
    bool preload(const QString &mac, const QStringList &ids);
    // The publishing session; its first pass runs at once.
    void startPublishing(qint64 pictureBudget = 0);
    bool waitForOutcomes(const QStringList &macs, int timeoutMs = 90000);
    // Ends the session (the chef is detached and deleted).
    void stopPublishing();

    // The device's first final state: "uploaded 7", "up to date", "failed:
    // reason"; empty while the device is busy. Later passes add theirs to outcomes().
    QString outcome(const QString &mac) const;
    QStringList outcomes(const QString &mac) const;
    QStringList steps(const QString &mac) const;
    // The device's status in the model; -1 when it has no row.
    int status(const QString &mac) const;
    // Complete items on the simulated device: id -> frames.
    QMap<QString, int> deviceItems(int index) const;

    QJsonObject cloudDevice(const QString &mac) const;
    // The upload statuses sent for the device, oldest first.
    QStringList uploadStatuses(const QString &mac) const;
    // Every device-record update the client sent for the device, oldest first.
    QJsonArray deviceUpdates(const QString &mac) const;

    DevSim &sim() { return m_sim; }
    CloudSim *cloud() const { return m_cloud.get(); }
    DevicesManager *devices() const { return m_devices.get(); }
    PublishingSession *session() const { return m_session.get(); }
    QString failure() const { return m_failure; }

private:
    QTemporaryDir m_dir;
    DevSim m_sim;
    std::unique_ptr<CloudSim> m_cloud;
    std::unique_ptr<DevicesManager> m_devices;
    std::unique_ptr<NetworkManager> m_network;
    std::unique_ptr<PublishingSession> m_session;
    QHash<QString, QStringList> m_steps;
    QHash<QString, QStringList> m_outcomes;
    QString m_failure;
};
