#pragma once

#include "CommandRunner.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <QThreadPool>
#include <QVariant>

// Starts a runner on the global pool and records its signals in the test's
// thread (queued, as the devices manager receives them).
class RunnerProbe : public QObject
{
public:
    QStringList startedSerials;
    int finishedCount = 0;
    QString serial;
    bool success = false;
    QMap<int, QVariant> results;
    QString error;
    qint64 elapsedMs = -1;

    // The runner deletes itself after its run; the probe keeps what it said.
    void start(CommandRunner *runner)
    {
        connect(runner, &CommandRunner::started, this,
                [this](const QString &s) { startedSerials << s; }, Qt::QueuedConnection);
        connect(runner, &CommandRunner::finished, this,
                [this](const QString &s, bool ok, const QMap<int, QVariant> &data,
                       const QString &text) {
                    ++finishedCount;
                    serial = s;
                    success = ok;
                    results = data;
                    error = text;
                    elapsedMs = m_clock.elapsed();
                },
                Qt::QueuedConnection);
        m_clock.start();
        QThreadPool::globalInstance()->start(runner);
    }

    bool waitFinished(int timeoutMs = 20000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (finishedCount == 0 && !deadline.hasExpired())
            QTest::qWait(5);
        return finishedCount > 0;
    }

    qint64 sinceStart() const { return m_clock.elapsed(); }

private:
    QElapsedTimer m_clock;
};
