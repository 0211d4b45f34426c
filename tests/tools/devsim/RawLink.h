#pragma once

#include "TestFrames.h"

#include <QByteArray>
#include <QString>

// A minimal serial client on a terminal path: raw 115200 8N1 through termios,
// non-blocking reads with poll. It tells a silent device from a vanished one
// (end of file or EIO after an unplug).
class RawLink
{
public:
    explicit RawLink(const QString &path);
    ~RawLink();
    RawLink(const RawLink &) = delete;
    RawLink &operator=(const RawLink &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    bool hungUp() const { return m_hungUp; }

    bool send(const QByteArray &bytes);
    // Reads until one complete answer frame has arrived or the time is up.
    QByteArray readFrame(int timeoutMs);
    // Reads until nothing arrives for silenceMs (or maxMs have passed in all).
    QByteArray readUntilSilence(int silenceMs, int maxMs = 5000);
    TestFrames::Answer exchange(quint8 id, const QByteArray &payload = QByteArray(), int timeoutMs = 3000);
    void close();

private:
    // Waits up to ms for bytes and appends them to the buffer; false on hang-up.
    bool pump(int ms);

    int m_fd = -1;
    bool m_hungUp = false;
    QByteArray m_buffer;
};
