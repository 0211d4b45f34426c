#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTextStream>

class DevicesManager;

// Upgrades every attached device with one firmware file through the devices
// manager, prints progress and one result line per device, then waits for the
// upgraded devices to come back and prints their new firmware versions.
class UpgradeSession : public QObject
{
    Q_OBJECT

public:
    UpgradeSession(DevicesManager *manager, const QString &filePath, QTextStream &out,
                   QObject *parent = nullptr);

    void start();
    // Ends the wait for returning devices (the time-out passed).
    void giveUp();
    bool anyFailed() const;

signals:
    void done(int exitCode);

private:
    void onFinished(const QString &serial, bool isSuccess, const QString &errorString);
    void onAllUpgraded();
    void onDevicesReady();
    void finishIfBack();

    DevicesManager *m_manager;
    const QString m_filePath;
    QTextStream &m_out;
    QStringList m_serials;
    QHash<QString, bool> m_results;
    QSet<QString> m_awaited;
    bool m_allUpgraded = false;
    bool m_finished = false;
};
