#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

class DevicesManager;

// Starts discovery and waits until every device attached to the computer has been
// initialised and stands in the devices model. Gives up after the time-out.
class AttachedDevicesWaiter : public QObject
{
    Q_OBJECT

public:
    AttachedDevicesWaiter(DevicesManager *manager, int timeoutMs, QObject *parent = nullptr);

    void start();
    // Serial numbers of attached devices not (yet) in the model.
    QStringList pending() const;

signals:
    void ready();
    void timedOut(QString reason);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    DevicesManager *m_manager;
    const int m_timeoutMs;
    QElapsedTimer m_clock;
    int m_timerId = 0;
};
