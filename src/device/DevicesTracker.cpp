#include "DevicesTracker.h"

#include "DevicesModel.h"
#include "PortWatch.h"
#include "Timings.h"

#include <QHash>
#include <QSet>
#include <QTimerEvent>

DevicesTracker::DevicesTracker(DevicesModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_ports(new PortWatch(this))
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
    const QVector<SerialPortFacts> all = m_ports->ports();
    for (const SerialPortFacts &port : all)
        if (isDevicePort(port))
            ports.append(port);
    return ports;
}

void DevicesTracker::start()
{
    m_ports->invalidate();
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
    compare(devicePorts());
}

// Serial number -> port of every device the model shows. A row kept while its
// device is flashed is left out: it is not an attached device, its absence is
// no news, and its return must be announced so that the fresh record replaces
// the kept one.
QHash<QString, QString> DevicesTracker::shownDevices() const
{
    QHash<QString, QString> shown;
    for (const DeviceInfo &device : m_model->devices())
        shown.insert(device.value(DeviceInfo::SerialNumber).toString(), device.value(DeviceInfo::PortName).toString());
    shown.remove(QString());
    for (const QString &kept : m_model->keptSerialNumbers())
        shown.remove(kept);
    return shown;
}

void DevicesTracker::compare(const QVector<SerialPortFacts> &ports)
{
    QHash<QString, QString> shown = shownDevices();
    QSet<QString> present;
    for (const SerialPortFacts &port : ports)
        present.insert(port.serialNumber);
    QVector<QString> removed;
    for (auto it = shown.begin(); it != shown.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        removed.append(it.key());
        it = shown.erase(it);
    }

    QVector<DeviceInfo> added;
    QVector<DeviceInfo> moved;
    QSet<QString> seen; // a second port with the same serial number is ignored
    for (const SerialPortFacts &port : ports) {
        const DeviceInfo record = recordFor(port);
        if (record.isEmpty() || seen.contains(port.serialNumber))
            continue;
        seen.insert(port.serialNumber);
        const auto row = shown.constFind(port.serialNumber);
        if (row == shown.cend())
            added.append(record);
        else if (*row != port.portName)
            moved.append(record);
    }

    if (!added.isEmpty())
        emit devicesReady(added);
    if (!removed.isEmpty())
        emit devicesRemoved(removed);
    if (!moved.isEmpty())
        emit devicesMoved(moved);
}
