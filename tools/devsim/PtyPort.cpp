#include "PtyPort.h"

#include "TtyOpenWatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A device that nobody reads stops queueing after this much.
constexpr int kMaxOutgoing = 64 * 1024;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyPort::PtyPort(TtyOpenWatch *watch, QObject *parent)
    : QObject(parent)
    , m_watch(watch)
{
    if (m_watch)
        connect(m_watch, &TtyOpenWatch::lastClosed, this, &PtyPort::onLastClosed);
}

PtyPort::~PtyPort()
{
    close();
}

bool PtyPort::open(QString *error)
{
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    const char *name = nullptr;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || !(name = ::ptsname(m_master))) {
        *error = systemError("pseudo-terminal set-up");
        close();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_ownSlave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_ownSlave < 0) {
        *error = systemError("opening the terminal");
        close();
        return false;
    }
    // Raw 115200 8N1 without echo: the line discipline must pass every byte as is.
    struct termios tio;
    if (::tcgetattr(m_ownSlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(m_ownSlave, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (m_watch)
        m_watchHandle = m_watch->add(m_slavePath);

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyPort::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyPort::onWritable);
    return true;
}

void PtyPort::close()
{
    if (m_watch && m_watchHandle >= 0)
        m_watch->remove(m_watchHandle);
    m_watchHandle = -1;
    // close() may run inside a notifier's own signal (an unplug on a received byte).
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_outgoing.clear();
    if (m_master >= 0)
        ::close(m_master);
    if (m_ownSlave >= 0)
        ::close(m_ownSlave);
    m_master = m_ownSlave = -1;
    m_slavePath.clear();
}

bool PtyPort::hostListening()
{
    if (m_master < 0)
        return false;
    // Without open notifications every byte is delivered.
    return m_watchHandle < 0 || m_watch->openCount(m_watchHandle) > 0;
}

void PtyPort::send(const QByteArray &bytes)
{
    if (!hostListening())
        return;
    if (m_outgoing.isEmpty()) {
        const ssize_t n = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
        if (n == bytes.size())
            return;
        m_outgoing = bytes.mid(n > 0 ? static_cast<int>(n) : 0);
    } else if (m_outgoing.size() + bytes.size() <= kMaxOutgoing) {
        m_outgoing.append(bytes);
    }
    m_writeNotifier->setEnabled(true);
}

void PtyPort::onWritable()
{
    if (m_master < 0)
        return;
    if (m_outgoing.isEmpty()) {
        m_writeNotifier->setEnabled(false);
        return;
    }
    const ssize_t n = ::write(m_master, m_outgoing.constData(), static_cast<size_t>(m_outgoing.size()));
    if (n > 0)
        m_outgoing.remove(0, static_cast<int>(n));
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
        m_outgoing.clear();
    if (m_outgoing.isEmpty())
        m_writeNotifier->setEnabled(false);
}

void PtyPort::onReadable()
{
    if (m_master < 0)
        return;
    char buffer[4096];
    QByteArray bytes;
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // EAGAIN; EIO cannot happen while our own slave keeps the terminal up
        bytes.append(buffer, static_cast<int>(n));
        if (n < static_cast<ssize_t>(sizeof buffer))
            break; // drained: spare the extra read that would only say EAGAIN
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}

void PtyPort::onLastClosed(int handle)
{
    if (handle != m_watchHandle || m_ownSlave < 0)
        return;
    // What the host left unread goes with its close, as the USB driver drops it.
    ::tcflush(m_ownSlave, TCIFLUSH);
    m_outgoing.clear();
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}
