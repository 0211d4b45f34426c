#include "UpgradeSession.h"

#include "DevicesManager.h"
#include "DevicesModel.h"

UpgradeSession::UpgradeSession(DevicesManager *manager, const QString &filePath, QTextStream &out,
                               QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_filePath(filePath)
    , m_out(out)
{
    connect(m_manager, &DevicesManager::jobProgress, this, [this](const QString &serial, int done, int total) {
        if (total > 0 && m_manager->isUpgrading(serial))
            m_out << serial << "\tdownloading\t" << done * 100 / total << "%" << Qt::endl;
    });
    connect(m_manager, &DevicesManager::firmwareUpgradeFinished, this, &UpgradeSession::onFinished);
    connect(m_manager, &DevicesManager::allDevicesUpgraded, this, &UpgradeSession::onAllUpgraded);
    connect(m_manager, &DevicesManager::devicesReady, this, &UpgradeSession::onDevicesReady);
}

void UpgradeSession::start()
{
    for (const DeviceInfo &device : m_manager->devicesModel()->devices())
        m_serials << device.value(DeviceInfo::SerialNumber).toString();
    // The same path as the window's Upgrade button: every Connected or Error device.
    m_manager->upgradeFirmware(m_filePath);
}

void UpgradeSession::onFinished(const QString &serial, bool isSuccess, const QString &errorString)
{
    m_results.insert(serial, isSuccess);
    if (isSuccess) {
        m_out << serial << "\tupgraded" << Qt::endl;
        m_awaited.insert(serial);
    } else {
        m_out << serial << "\tfailed\t" << errorString << Qt::endl;
    }
}

void UpgradeSession::onAllUpgraded()
{
    m_allUpgraded = true;
    finishIfBack();
}

void UpgradeSession::onDevicesReady()
{
    // A flashed device re-enumerates and is read again; report what it runs now.
    for (auto it = m_awaited.begin(); it != m_awaited.end();) {
        const int row = m_manager->devicesModel()->findRow(DeviceInfo::SerialNumber, *it);
        const DeviceInfo device = m_manager->devicesModel()->device(row);
        if (row >= 0 && !m_manager->devicesModel()->keptSerialNumbers().contains(*it)
            && !m_manager->isUpgrading(*it)
            && device.value(DeviceInfo::Status).toInt() != DeviceInfo::UpgradingFirmware) {
            m_out << *it << "\tfirmware\t" << device.value(DeviceInfo::FwVersion).toString() << Qt::endl;
            it = m_awaited.erase(it);
        } else {
            ++it;
        }
    }
    finishIfBack();
}

void UpgradeSession::finishIfBack()
{
    if (m_finished || !m_allUpgraded || !m_awaited.isEmpty())
        return;
    m_finished = true;
    emit done(anyFailed() ? 1 : 0);
}

void UpgradeSession::giveUp()
{
    if (m_finished)
        return;
    m_finished = true;
    for (const QString &serial : qAsConst(m_awaited))
        m_out << serial << "\tnot back\t" << tr("the device did not reconnect in time") << Qt::endl;
    if (!m_allUpgraded)
        for (const QString &serial : qAsConst(m_serials))
            if (!m_results.contains(serial))
                m_out << serial << "\tfailed\t" << tr("time-out") << Qt::endl;
    emit done(1);
}

bool UpgradeSession::anyFailed() const
{
    if (m_results.isEmpty())
        return true;
    for (bool ok : m_results)
        if (!ok)
            return true;
    return false;
}
