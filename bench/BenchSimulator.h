#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The device simulator as a separate process for the benchmark: its own port
// folder, named to this process through TAMO_SIM_DIR so that the runner finds
// the simulated ports as it finds real ones; its state read back from the
// per-device snapshot files.
class BenchSimulator
{
public:
    explicit BenchSimulator(const QString &program);
    ~BenchSimulator();
    BenchSimulator(const BenchSimulator &) = delete;
    BenchSimulator &operator=(const BenchSimulator &) = delete;

    // Starts `count` devices with the extra arguments; true once every device's
    // port is listed.
    bool start(int count, const QStringList &arguments, QString *error);
    void stop();

    static QString serialOf(int index);
    QString portOf(int index) const;
    // True when the device holds the complete image under that decimal
    // identifier with the SHA-256 of the bytes; otherwise false and why.
    bool holdsImage(int index, const QString &id, const QByteArray &bytes, QString *why) const;
    // CPU time the simulator process has used so far, in nanoseconds (from the
    // scheduler's accounting of its threads); -1 when it cannot be read.
    qint64 cpuNs() const;

private:
    bool waitForLine(const QString &prefix, int timeoutMs);

    QString m_program;
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_output;
    QStringList m_ports;
};
