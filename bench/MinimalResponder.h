#pragma once

#include <QString>

#include <sys/types.h>

// The far end of the link floor: a pseudo-terminal whose master side is served
// by a child process of its own that does nothing but move bytes. It blocks in
// read() until a whole request frame is in (start byte 07, identifier, 0,
// length L, L - 4 payload bytes, 4 CRC bytes) and at once write()s an 8-byte
// answer (07, the identifier echoed, status 5, length 4, CRC) that was made
// before the child started.
class MinimalResponder
{
public:
    MinimalResponder() = default;
    ~MinimalResponder();
    MinimalResponder(const MinimalResponder &) = delete;
    MinimalResponder &operator=(const MinimalResponder &) = delete;

    // Opens the terminal and starts the child; false with the reason.
    bool start(QString *error);
    void stop();
    // The terminal a client opens.
    QString portName() const { return m_portName; }
    // CPU time the child has used so far, in nanoseconds; -1 when unknown.
    qint64 cpuNs() const;

private:
    int m_master = -1;
    // Keeps the terminal up while no client has it open.
    int m_slave = -1;
    pid_t m_child = -1;
    QString m_portName;
};
