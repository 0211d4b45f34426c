#include "PtyPeer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave >= 0) {
        termios tio;
        if (::tcgetattr(m_slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slave, TCSANOW, &tio);
        }
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPeer::onReadable);
}

PtyPeer::~PtyPeer()
{
    delete m_floodTimer;
    delete m_notifier;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

QStringList PtyPeer::lines() const
{
    return m_lines;
}

int PtyPeer::count(const QByteArray &line) const
{
    return m_lines.count(QString::fromLatin1(line));
}

void PtyPeer::onReadable()
{
    char chunk[512];
    ssize_t n;
    while ((n = ::read(m_master, chunk, sizeof chunk)) > 0)
        m_buffer.append(chunk, static_cast<int>(n));
    if (!m_flood.isEmpty() && !m_floodTimer) {
        m_floodTimer = new QTimer(this);
        connect(m_floodTimer, &QTimer::timeout, this, &PtyPeer::floodOnce);
        m_floodTimer->start(1);
    }
    int end;
    while ((end = m_buffer.indexOf("\r\n")) >= 0) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 2);
        m_lines << QString::fromLatin1(line);
        const auto reply = m_answers.constFind(line);
        if (reply != m_answers.constEnd()) {
            const ssize_t written = ::write(m_master, reply->constData(), static_cast<size_t>(reply->size()));
            Q_UNUSED(written)
        }
    }
}

void PtyPeer::floodOnce()
{
    // Until the terminal's buffer is full; the next round tops it up.
    for (int i = 0; i < 256; ++i)
        if (::write(m_master, m_flood.constData(), static_cast<size_t>(m_flood.size())) <= 0)
            break;
}
