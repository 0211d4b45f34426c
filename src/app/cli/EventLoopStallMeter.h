#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

// How long the event loop of this thread was kept from running: a timer that
// should fire every few milliseconds is measured for lateness, and the longest
// lateness is how long a window on this thread would have stood frozen. On a
// loaded machine part of a late tick is time the thread waited for a processor
// while other programs ran (Linux counts it per thread); that part is taken out
// of the stall the program itself caused, and kept in the overall one.
class EventLoopStallMeter : public QObject
{
public:
    explicit EventLoopStallMeter(QObject *parent = nullptr);

    void start();
    // Lateness not spent waiting for a processor: work or blocking on this thread.
    qint64 longestOwnStallMs() const { return m_longestOwnMs; }
    qint64 longestStallMs() const { return m_longestMs; }

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    // Nanoseconds this thread has waited runnable for a processor; -1 unknown.
    static qint64 runQueueWaitNs();

    QBasicTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastTickMs = 0;
    qint64 m_lastWaitNs = -1;
    qint64 m_longestMs = 0;
    qint64 m_longestOwnMs = 0;
};
