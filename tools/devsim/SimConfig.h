#pragma once

#include "FaultPlan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// Everything the command line sets for one run of the simulator.
struct SimConfig
{
    static constexpr int kMaxDevices = 20;

    // One device named by --devices; empty fields take the generated value.
    struct DeviceSpec {
        QString serial;
        QByteArray mac;
        QString name;
        QString firmware;
    };

    QString folder;
    int count = 1;
    QString serialPrefix = QStringLiteral("TAMOSIM");
    int firstIndex = 1;
    QString firmware = QStringLiteral("1.5.90");
    QString name = QStringLiteral("TAMO %n");
    QByteArray mac;            // of the first device
    int slotCount = 112;
    int battery = 87;
    int brightness = 80;
    int dimLevel = 30;
    int latencyMs = 0;
    int eraseMs = 2500;
    int dfuDelayMs = 200;
    int frameTimeoutMs = 100;
    int replugAfterMs = -1;    // after a fault unplug; -1: stay away
    bool rpc = true;
    bool console = true;
    bool verbose = false;
    bool stdinControl = true;
    QString controlFifo;
    QString keepContent;           // folder for every received frame; empty: none
    QVector<DeviceSpec> devices;   // from --devices; empty: generated from the options
    std::array<CountSet, FaultPlan::KindCount> faults;

    QString serialFor(int index) const;   // index 0 .. count-1
    QString nameFor(int index) const;
    QByteArray macFor(int index) const;
    QString firmwareFor(int index) const;

    // Parses the arguments; on --help/--version prints and sets *exitCode 0; on
    // an error prints the reason and sets *exitCode 2. Returns true to run.
    static bool parse(const QStringList &arguments, SimConfig *config, int *exitCode);
    static QString controlHelp();
};
