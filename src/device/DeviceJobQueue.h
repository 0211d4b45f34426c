#pragma once

#include <QHash>
#include <QList>
#include <QObject>

class DeviceJob;

// One job per device at a time: a device's jobs take their turns in the order
// they were submitted, so no two of them ever open its port at once. A job with
// a start delay joins its device's line when the delay is over. The queue owns
// the jobs until they end.
class DeviceJobQueue : public QObject
{
    Q_OBJECT

public:
    explicit DeviceJobQueue(QObject *parent = nullptr);

    void submit(DeviceJob *job);
    // The job ended, or leaves before its turn: the next one of its device is due.
    void release(DeviceJob *job);

    DeviceJob *running(const QString &serial) const;
    // The device's jobs, delayed, waiting and running.
    QList<DeviceJob *> jobsOf(const QString &serial) const;
    QList<DeviceJob *> jobs() const;
    bool isEmpty() const;

signals:
    // The job's turn has come: start it.
    void due(DeviceJob *job);

private:
    void enqueue(DeviceJob *job);

    QHash<QString, QList<DeviceJob *>> m_lines; // the first of a line is its device's current job
    QList<DeviceJob *> m_delayed;
};
