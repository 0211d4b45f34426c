#include "DfuPageManager.h"

#include "DevicesManager.h"
#include "DevicesModel.h"
#include "NetworkManager.h"
#include "Timings.h"

#include <QTimerEvent>

DfuPageManager::DfuPageManager(QObject *parent)
    : QObject(parent)
{
}

DfuPageManager::~DfuPageManager()
{
    stopBatteryTimer();
}

void DfuPageManager::setup(DevicesManager *devices, NetworkManager *network)
{
    if (m_devices)
        disconnect(m_devices, nullptr, this, nullptr);
    stopBatteryTimer();
    m_devices = devices;
    m_network = network;
    m_upgraded = 0;
    m_failures.clear();
    if (!m_devices)
        return;
    connect(m_devices, &DevicesManager::devicesReady, this, &DfuPageManager::startBatteryTimer, Qt::UniqueConnection);
    connect(m_devices, &DevicesManager::firmwareUpgradeFinished, this, &DfuPageManager::onDeviceUpgraded,
            Qt::UniqueConnection);
    connect(m_devices, &DevicesManager::allDevicesUpgraded, this, &DfuPageManager::onAllUpgraded,
            Qt::UniqueConnection);
}

void DfuPageManager::onDeviceUpgraded(const QString &serial, bool isSuccess, const QString &errorString)
{
    if (isSuccess) {
        ++m_upgraded;
        return;
    }
    // Its row is still listed (restarting, or off the bus in its boot loader).
    QString name = m_devices->devicesModel()
                       ->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::NameRole)
                       .toString();
    if (name.isEmpty())
        name = serial;
    m_failures << tr("%1: %2").arg(name, errorString.isEmpty() ? tr("unknown error") : errorString);
}

void DfuPageManager::onAllUpgraded()
{
    const int total = m_upgraded + m_failures.size();
    if (total == 0)
        return;
    QString text = tr("Firmware upgraded on %1 of %2 device(s).").arg(m_upgraded).arg(total);
    if (m_upgraded > 0)
        text += QLatin1Char('\n') + tr("Upgraded devices restart and are listed again when they are back.");
    if (!m_failures.isEmpty())
        text += QStringLiteral("\n\n") + tr("Not upgraded:") + QLatin1Char('\n') + m_failures.join(QLatin1Char('\n'));
    const bool all = m_failures.isEmpty();
    m_upgraded = 0;
    m_failures.clear();
    emit upgradesConfirmed(text, all);
}

void DfuPageManager::startBatteryTimer()
{
    if (m_batteryTimerId < 1)
        m_batteryTimerId = startTimer(Timings::ms(Timings::ExpressBatteryInterval), Qt::CoarseTimer);
}

void DfuPageManager::stopBatteryTimer()
{
    if (m_batteryTimerId > 0)
        killTimer(m_batteryTimerId);
    m_batteryTimerId = 0;
}

void DfuPageManager::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_batteryTimerId) {
        QObject::timerEvent(event);
        return;
    }
    if (m_devices)
        m_devices->pollBattery();
}
