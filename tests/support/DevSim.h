#pragma once

#include "SimProcess.h"

#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

// The device simulator as a child process for one test: its own port folder
// (also set as TAMO_SIM_DIR for this process, so the port enumeration sees its
// devices), control lines through its standard input, its events and answers
// from its standard output, its state from the JSON snapshot per device.
class DevSim
{
public:
    static constexpr const char *kFirstSerial = "TAMOSIM0001";

    DevSim();
    ~DevSim();

    // Starts with `--dir <folder>` and the arguments; true once every device of
    // `count` is on the bus and its port is listed.
    bool start(const QStringList &arguments = {}, int count = 1);
    void stop();

    QString folder() const;
    // The port of the device as the port enumeration lists it; empty if none.
    static QString portOf(const QString &serial = QLatin1String(kFirstSerial));

    // Sends one control line and returns the simulator's answer line.
    QString control(const QString &line);

    QJsonObject snapshot(const QString &serial = QLatin1String(kFirstSerial)) const;
    // The stored item with that decimal identifier; empty when absent.
    QJsonObject item(const QString &id, const QString &serial = QLatin1String(kFirstSerial)) const;
    // Requests the device has counted so far (from the status line).
    int requestCount(const QString &serial = QLatin1String(kFirstSerial));

    // Writes a firmware file for the simulated boot loader; empty on failure.
    static QString makeFirmware(const QString &version, const QString &path, int size = 40000);

    QString output() const { return m_sim.lines().join(QLatin1Char('\n')); }
    QString errors() { return QString::fromLocal8Bit(m_sim.errors()); }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
};
