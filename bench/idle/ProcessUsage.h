#pragma once

#include <QHash>
#include <QtGlobal>

// What another process has cost so far, read from /proc: its CPU time (every
// thread, those that have ended included) and the context switches of each of
// its threads, each one a wake-up or a preemption.
class ProcessUsage
{
public:
    // Read now; invalid when the process cannot be read.
    static ProcessUsage of(qint64 pid);

    bool isValid() const { return m_valid; }
    // CPU seconds spent since `earlier`.
    double cpuSecondsSince(const ProcessUsage &earlier) const;
    // Context switches since `earlier`, of the threads that are there now (a
    // thread that ended in between takes its count with it).
    qint64 switchesSince(const ProcessUsage &earlier) const;

private:
    bool m_valid = false;
    qint64 m_cpuTicks = 0;
    QHash<qint64, qint64> m_switchesByThread;
};
