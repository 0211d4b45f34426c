#include "DeviceJobQueue.h"

#include "DeviceJob.h"

#include <QTimer>

DeviceJobQueue::DeviceJobQueue(QObject *parent)
    : QObject(parent)
{
}

void DeviceJobQueue::submit(DeviceJob *job)
{
    job->setParent(this);
    if (job->startDelayMs <= 0) {
        enqueue(job);
        return;
    }
    m_delayed.append(job);
    QTimer::singleShot(job->startDelayMs, job, [this, job] {
        m_delayed.removeOne(job);
        enqueue(job);
    });
}

void DeviceJobQueue::enqueue(DeviceJob *job)
{
    QList<DeviceJob *> &line = m_lines[job->serial()];
    line.append(job);
    if (line.size() == 1)
        emit due(job);
}

void DeviceJobQueue::release(DeviceJob *job)
{
    m_delayed.removeOne(job);
    const auto line = m_lines.find(job->serial());
    const bool wasCurrent = line != m_lines.end() && !line->isEmpty() && line->first() == job;
    if (line != m_lines.end())
        line->removeOne(job);
    job->deleteLater();
    if (line == m_lines.end())
        return;
    if (line->isEmpty())
        m_lines.erase(line);
    else if (wasCurrent)
        emit due(line->first());
}

DeviceJob *DeviceJobQueue::running(const QString &serial) const
{
    const QList<DeviceJob *> line = m_lines.value(serial);
    return !line.isEmpty() && line.first()->isRunning() ? line.first() : nullptr;
}

QList<DeviceJob *> DeviceJobQueue::jobsOf(const QString &serial) const
{
    QList<DeviceJob *> found = m_lines.value(serial);
    for (DeviceJob *job : m_delayed)
        if (job->serial() == serial)
            found.append(job);
    return found;
}

QList<DeviceJob *> DeviceJobQueue::jobs() const
{
    QList<DeviceJob *> all = m_delayed;
    for (const QList<DeviceJob *> &line : m_lines)
        all += line;
    return all;
}

bool DeviceJobQueue::isEmpty() const
{
    return m_lines.isEmpty() && m_delayed.isEmpty();
}
