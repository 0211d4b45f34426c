#pragma once

#include "SerialPortFacts.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QVector>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// The serial ports as discovery sees them, listed again only when they may have
// changed: the system announces new and vanished serial devices (a udev monitor
// where udev runs, a watch of /dev everywhere), the simulated-port folder is
// watched, and a slow safety listing catches what a notice missed. Listing the
// system's ports opens and inspects every terminal of the machine; a tick of
// discovery that finds nothing changed costs next to nothing.
class PortWatch : public QObject
{
    Q_OBJECT

public:
    explicit PortWatch(QObject *parent = nullptr);
    ~PortWatch() override;

    // The system's ports, then the simulated ones, as of the latest listings.
    QVector<SerialPortFacts> ports();
    // Lists everything again at the next look, whatever the notices said.
    void invalidate();

private:
    void watchSystem();
    void watchFolder(const QString &folder);
    void onDirectoryChanged(const QString &path);
    void onUdevEvent();
    void onSystemChanged();
    void onFolderChanged();

    QFileSystemWatcher m_watcher;
    QString m_folder;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;

    QVector<SerialPortFacts> m_system;
    QVector<SerialPortFacts> m_simulated;
    // Looks at which the system's ports are listed again; a node in /dev may
    // show up before udev has described it, so a notice is good for two.
    int m_systemLooks = 0;
    bool m_folderChanged = true;
    QElapsedTimer m_sinceSafetyListing;
};
