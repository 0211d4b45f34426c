#pragma once

#include "DeviceInfo.h"
#include "SerialPortFacts.h"

#include <QHash>
#include <QObject>
#include <QVector>

class DevicesModel;
class PortWatch;

// Once a second compares the device ports with the devices the model shows and
// announces the devices that appeared and the ones that went away. The ports are
// listed again only when the system or the simulated-port folder says they
// changed, and by a slow safety listing (PortWatch), so an idle second costs
// next to nothing. Does no port I/O itself; the manager adds and removes the
// model's rows.
class DevicesTracker : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kVendorId = 0x0483;
    static constexpr quint16 kProductId = 0x5740;

    DevicesTracker(DevicesModel *model, QObject *parent = nullptr);
    ~DevicesTracker() override;

    void start();
    void stop();
    bool isRunning() const;

    static bool isDevicePort(const SerialPortFacts &port);
    // Fields 0 and 1 for a device port; an empty record for any other port.
    static DeviceInfo recordFor(const SerialPortFacts &port);

signals:
    void devicesReady(QVector<DeviceInfo> info);
    void devicesRemoved(QVector<QString> devicesSerials);
    // Listed devices now found on another port (fields 0 and 1), as when a
    // device came back between two ticks while its old port was still held.
    void devicesMoved(QVector<DeviceInfo> info);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    QVector<SerialPortFacts> devicePorts() const;
    void tick();
    QHash<QString, QString> shownDevices() const;
    // Announces what changed between the model and the listed device ports.
    void compare(const QVector<SerialPortFacts> &ports);

    DevicesModel *m_model;
    PortWatch *m_ports;
    int m_timerId = 0;
};
