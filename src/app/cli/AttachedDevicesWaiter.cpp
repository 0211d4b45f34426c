#include "AttachedDevicesWaiter.h"

#include "DevicesManager.h"
#include "DevicesModel.h"
#include "DevicesTracker.h"
#include "PortEnumerator.h"
#include "Timings.h"

#include <QSet>
#include <QTimerEvent>

namespace {
constexpr int kCheckIntervalMs = 100;
}

AttachedDevicesWaiter::AttachedDevicesWaiter(DevicesManager *manager, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_timeoutMs(timeoutMs)
{
}

void AttachedDevicesWaiter::start()
{
    m_clock.start();
    m_manager->startTracking();
    m_timerId = startTimer(kCheckIntervalMs);
}

QStringList AttachedDevicesWaiter::pending() const
{
    QSet<QString> shown;
    const DevicesModel *model = m_manager->devicesModel();
    for (const DeviceInfo &device : model->devices())
        shown.insert(device.value(DeviceInfo::SerialNumber).toString());
    for (const QString &kept : model->keptSerialNumbers())
        shown.remove(kept);

    QStringList missing;
    for (const SerialPortFacts &port : PortEnumerator::availablePorts())
        if (DevicesTracker::isDevicePort(port) && !shown.contains(port.serialNumber)
            && !missing.contains(port.serialNumber))
            missing << port.serialNumber;
    return missing;
}

void AttachedDevicesWaiter::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId)
        return QObject::timerEvent(event);

    // Discovery must have looked at the ports at least once.
    const bool discovered = m_clock.elapsed() > Timings::ms(Timings::DiscoveryPollInterval) + kCheckIntervalMs;
    const QStringList missing = pending();
    if (discovered && missing.isEmpty()) {
        killTimer(m_timerId);
        m_timerId = 0;
        emit ready();
        return;
    }
    if (m_clock.elapsed() >= m_timeoutMs) {
        killTimer(m_timerId);
        m_timerId = 0;
        emit timedOut(tr("%n device(s) not initialised in time: %1", nullptr, missing.size())
                          .arg(missing.join(QStringLiteral(", "))));
    }
}
