#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

class CliPrinter;
class DevicesManager;

// Upgrades the chosen attached devices (all of them when none is chosen) with
// one firmware file through the devices manager; prints each device's progress
// and result and the run's overall progress, then waits for the upgraded
// devices to come back and prints their new firmware versions.
class UpgradeSession : public QObject
{
    Q_OBJECT

public:
    UpgradeSession(DevicesManager *manager, const QString &filePath, const QStringList &chosen,
                   CliPrinter &printer, QObject *parent = nullptr);

    void start();
    // Ends the wait for returning devices (the time-out passed).
    void giveUp();
    bool anyFailed() const;

signals:
    void done(int exitCode);

private:
    void onProgress(const QString &serial, int done, int total);
    void onFinished(const QString &serial, bool isSuccess, const QString &errorString);
    void onRunProgress(int upgraded, int total, const QString &text);
    void onAllUpgraded();
    void onDevicesReady();
    void refuse(const QString &serial, const QString &reason);
    void finishIfBack();
    QString macOf(const QString &serial) const;

    DevicesManager *m_manager;
    const QString m_filePath;
    const QStringList m_chosen;
    CliPrinter &m_printer;
    QStringList m_serials; // the devices whose upgrade runs
    QHash<QString, bool> m_results;
    QSet<QString> m_awaited;
    bool m_allUpgraded = false;
    bool m_finished = false;
};
