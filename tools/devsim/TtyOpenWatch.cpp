#include "TtyOpenWatch.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

TtyOpenWatch::TtyOpenWatch(QObject *parent)
    : QObject(parent)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TtyOpenWatch::drain);
}

TtyOpenWatch::~TtyOpenWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

int TtyOpenWatch::add(const QString &path)
{
    if (m_fd < 0)
        return -1;
    drain();
    const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(),
                                       IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    if (wd >= 0)
        m_counts.insert(wd, 0);
    return wd;
}

void TtyOpenWatch::remove(int handle)
{
    if (handle < 0 || m_fd < 0)
        return;
    drain();
    m_counts.remove(handle);
    ::inotify_rm_watch(m_fd, handle);
}

int TtyOpenWatch::openCount(int handle)
{
    drain();
    return m_counts.value(handle, 0);
}

void TtyOpenWatch::drain()
{
    if (m_fd < 0)
        return;
    alignas(struct inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN: nothing pending
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            const auto it = m_counts.find(event->wd);
            if (it == m_counts.end())
                continue;
            if (event->mask & IN_OPEN) {
                ++it.value();
            } else if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (it.value() > 0 && --it.value() == 0)
                    emit lastClosed(event->wd);
            }
        }
    }
}
