#include "EventLoopStallMeter.h"

#include <QFile>
#include <QTimerEvent>

namespace {
constexpr int kTickMs = 5;
}

EventLoopStallMeter::EventLoopStallMeter(QObject *parent)
    : QObject(parent)
{
}

void EventLoopStallMeter::start()
{
    m_clock.start();
    m_lastTickMs = 0;
    m_lastWaitNs = runQueueWaitNs();
    m_timer.start(kTickMs, Qt::PreciseTimer, this);
}

qint64 EventLoopStallMeter::runQueueWaitNs()
{
    // "<ns on a processor> <ns waiting on a run queue> <time slices>"
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    bool ok = false;
    const qint64 wait = fields.value(1).toLongLong(&ok);
    return ok ? wait : -1;
}

void EventLoopStallMeter::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId())
        return QObject::timerEvent(event);
    const qint64 now = m_clock.elapsed();
    const qint64 wait = runQueueWaitNs();
    const qint64 late = now - m_lastTickMs - kTickMs;
    const qint64 waited = wait >= 0 && m_lastWaitNs >= 0 ? (wait - m_lastWaitNs) / 1000000 : 0;
    m_longestMs = qMax(m_longestMs, late);
    m_longestOwnMs = qMax(m_longestOwnMs, late - waited);
    m_lastTickMs = now;
    m_lastWaitNs = wait;
}
