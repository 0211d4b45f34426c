#include "RawLink.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

RawLink::RawLink(const QString &path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    struct termios tio;
    if (::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
}

RawLink::~RawLink()
{
    close();
}

void RawLink::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RawLink::send(const QByteArray &bytes)
{
    if (m_fd < 0)
        return false;
    return ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

bool RawLink::pump(int ms)
{
    if (m_fd < 0 || m_hungUp)
        return false;
    struct pollfd p{m_fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, ms);
    if (rc <= 0)
        return true;
    char chunk[4096];
    const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
    if (n > 0) {
        m_buffer.append(chunk, static_cast<int>(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    m_hungUp = true;
    return false;
}

QByteArray RawLink::readFrame(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Console text before a frame is not part of it.
        const int start = m_buffer.indexOf(char(0x07));
        if (start > 0)
            m_buffer.remove(0, start);
        const int length = start < 0 ? 0 : TestFrames::completeLength(m_buffer);
        if (length > 0) {
            const QByteArray frame = m_buffer.left(length);
            m_buffer.remove(0, length);
            return frame;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !pump(static_cast<int>(left))) {
            const QByteArray partial = m_buffer;
            m_buffer.clear();
            return partial;
        }
    }
}

QByteArray RawLink::readUntilSilence(int silenceMs, int maxMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int before = m_buffer.size();
        if (!pump(silenceMs) || clock.elapsed() > maxMs)
            break;
        if (m_buffer.size() == before)
            break;
    }
    const QByteArray all = m_buffer;
    m_buffer.clear();
    return all;
}

TestFrames::Answer RawLink::exchange(quint8 id, const QByteArray &payload, int timeoutMs)
{
    if (!send(TestFrames::request(id, payload)))
        return TestFrames::Answer();
    return TestFrames::parse(readFrame(timeoutMs));
}
