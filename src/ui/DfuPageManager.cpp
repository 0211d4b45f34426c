#include "DfuPageManager.h"

#include "DevicesManager.h"
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
    if (m_devices)
        connect(m_devices, &DevicesManager::devicesReady, this, &DfuPageManager::startBatteryTimer,
                Qt::UniqueConnection);
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
