#include "DevicesTracker.h"

#include "DevicesModel.h"
#include "PortEnumerator.h"
#include "Timings.h"

#include <QSet>
#include <QTimerEvent>

DevicesTracker::DevicesTracker(DevicesModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
}

DevicesTracker::~DevicesTracker()
{
    stop();
}

bool DevicesTracker::isDevicePort(const SerialPortFacts &port)
{
    return !port.isNull() && port.hasVendorId && port.hasProductId
        && port.vendorId == kVendorId && port.productId == kProductId;
}

DeviceInfo DevicesTracker::recordFor(const SerialPortFacts &port)
{
    DeviceInfo info;
    if (isDevicePort(port)) {
        info.setValue(DeviceInfo::SerialNumber, port.serialNumber);
        info.setValue(DeviceInfo::PortName, port.portName);
    }
    return info;
}

QVector<SerialPortFacts> DevicesTracker::devicePorts() const
{
    QVector<SerialPortFacts> ports;
    const QVector<SerialPortFacts> all = PortEnumerator::availablePorts();
    for (const SerialPortFacts &port : all)
        if (isDevicePort(port))
            ports.append(port);
    return ports;
}

void DevicesTracker::start()
{
    QVector<DeviceInfo> announced;
    const QVector<SerialPortFacts> ports = devicePorts();
    for (const SerialPortFacts &port : ports) {
        bool known = false;
        for (const DeviceInfo &device : m_model->devices())
            if (device.value(DeviceInfo::SerialNumber).toString() == port.serialNumber) {
                known = true;
                break;
            }
        if (!known)
            continue;
        const DeviceInfo record = recordFor(port);
        if (!record.isEmpty())
            announced.append(record);
    }
    emit devicesReady(announced);

    if (m_timerId == 0)
        m_timerId = startTimer(Timings::ms(Timings::DiscoveryPollInterval), Qt::CoarseTimer);
}

void DevicesTracker::stop()
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
}

bool DevicesTracker::isRunning() const
{
    return m_timerId != 0;
}

void DevicesTracker::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId || m_timerId == 0) {
        QObject::timerEvent(event);
        return;
    }
    tick();
}

void DevicesTracker::tick()
{
    QVector<SerialPortFacts> ports = devicePorts();

    QSet<QString> present;
    for (const SerialPortFacts &port : ports)
        present.insert(port.serialNumber);

    QSet<QString> known;
    for (const DeviceInfo &device : m_model->devices())
        known.insert(device.value(DeviceInfo::SerialNumber).toString());
    known.remove(QString());
    // A row kept while its device is flashed is not an attached device: its
    // absence is no news, and its return must be announced so that the fresh
    // record replaces the kept one.
    for (const QString &kept : m_model->keptSerialNumbers())
        known.remove(kept);

    QVector<QString> removed;
    for (auto it = known.begin(); it != known.end();) {
        if (!present.contains(*it)) {
            removed.append(*it);
            it = known.erase(it);
        } else {
            ++it;
        }
    }

    QVector<DeviceInfo> added;
    for (const SerialPortFacts &port : ports) {
        if (known.contains(port.serialNumber))
            continue; // already shown, or a second port with the same serial number
        const DeviceInfo record = recordFor(port);
        if (record.isEmpty())
            continue;
        added.append(record);
        known.insert(port.serialNumber);
    }

    if (!added.isEmpty())
        emit devicesReady(added);
    if (!removed.isEmpty())
        emit devicesRemoved(removed);
}
