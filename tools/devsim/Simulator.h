#pragma once

#include "SimConfig.h"

#include <QObject>
#include <QTimer>
#include <QVector>

class ControlChannel;
class SimulatedDevice;
class TtyOpenWatch;

// The devices of one run: starts them, carries out control commands, watches
// the boot loaders for the upgrade tool's requests, and stops everything so
// that no port file or DFU state file stays behind.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(const SimConfig &config, QObject *parent = nullptr);
    ~Simulator() override;

    bool start(QString *error);
    void stop();
    void handleCommand(const QString &line);

signals:
    void quitRequested();

private:
    QVector<SimulatedDevice *> select(const QString &serial) const;
    void updateBootloaderPoll();
    bool claimFolder(QString *error) const;
    static void print(const QString &line);

    SimConfig m_config;
    TtyOpenWatch *m_watch;
    ControlChannel *m_control;
    QVector<SimulatedDevice *> m_devices;
    QTimer m_bootloaderPoll;
    bool m_stopped = false;
};
