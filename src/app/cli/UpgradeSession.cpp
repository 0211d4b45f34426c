#include "UpgradeSession.h"

#include "CliPrinter.h"
#include "DevicesManager.h"
#include "DevicesModel.h"

UpgradeSession::UpgradeSession(DevicesManager *manager, const QString &filePath, const QStringList &chosen,
                               CliPrinter &printer, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_filePath(filePath)
    , m_chosen(chosen)
    , m_printer(printer)
{
    connect(m_manager, &DevicesManager::jobProgress, this, &UpgradeSession::onProgress);
    connect(m_manager, &DevicesManager::firmwareUpgradeFinished, this, &UpgradeSession::onFinished);
    connect(m_manager, &DevicesManager::firmwareRunProgress, this, &UpgradeSession::onRunProgress);
    connect(m_manager, &DevicesManager::allDevicesUpgraded, this, &UpgradeSession::onAllUpgraded);
    connect(m_manager, &DevicesManager::devicesReady, this, &UpgradeSession::onDevicesReady);
}

QString UpgradeSession::macOf(const QString &serial) const
{
    return m_manager->devicesModel()
        ->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::MacAddressRole)
        .toString();
}

// The same path as the window's Upgrade button: the chosen devices, or every
// attached one. A chosen device that is not attached, or cannot take an
// upgrade now, has failed at once.
void UpgradeSession::start()
{
    QStringList wanted = m_chosen;
    if (wanted.isEmpty()) {
        for (const DeviceInfo &device : m_manager->devicesModel()->devices())
            wanted << device.value(DeviceInfo::SerialNumber).toString();
    }
    wanted.removeDuplicates();
    const QStringList listed = m_chosen.isEmpty() ? wanted : [&] {
        QStringList present;
        for (const QString &serial : qAsConst(wanted)) {
            if (m_manager->devicesModel()->findRow(DeviceInfo::SerialNumber, serial) >= 0)
                present << serial;
            else
                refuse(serial, tr("the device is not attached"));
        }
        return present;
    }();
    m_serials = m_manager->upgradeFirmware(m_filePath, listed);
    for (const QString &serial : listed)
        if (!m_serials.contains(serial))
            refuse(serial, tr("the device cannot take an upgrade now"));
    if (m_serials.isEmpty()) {
        m_finished = true;
        emit done(1);
    }
}

void UpgradeSession::refuse(const QString &serial, const QString &reason)
{
    m_results.insert(serial, false);
    m_printer.print(CliEvent{serial, macOf(serial), QStringLiteral("failed"), QString(), reason});
}

void UpgradeSession::onProgress(const QString &serial, int done, int total)
{
    if (total > 0 && m_serials.contains(serial) && m_manager->isUpgrading(serial))
        m_printer.print(
            CliEvent{serial, macOf(serial), QStringLiteral("downloading"), QString(), QString(), done * 100 / total});
}

void UpgradeSession::onFinished(const QString &serial, bool isSuccess, const QString &errorString)
{
    if (!m_serials.contains(serial))
        return;
    m_results.insert(serial, isSuccess);
    if (isSuccess) {
        m_printer.print(CliEvent{serial, macOf(serial), QStringLiteral("upgraded")});
        m_awaited.insert(serial);
    } else {
        m_printer.print(CliEvent{serial, macOf(serial), QStringLiteral("failed"), QString(), errorString});
    }
}

void UpgradeSession::onRunProgress(int upgraded, int total, const QString &text)
{
    if (total > 0)
        m_printer.print(CliEvent{QString(), QString(), QStringLiteral("overall"), text, QString(), upgraded * 100 / total});
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
            m_printer.print(CliEvent{*it, device.value(DeviceInfo::MacAddress).toString(), QStringLiteral("firmware"),
                                     device.value(DeviceInfo::FwVersion).toString()});
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
        m_printer.print(CliEvent{serial, macOf(serial), QStringLiteral("not back"), QString(),
                                 tr("the device did not reconnect in time")});
    if (!m_allUpgraded)
        for (const QString &serial : qAsConst(m_serials))
            if (!m_results.contains(serial))
                m_printer.print(CliEvent{serial, macOf(serial), QStringLiteral("failed"), QString(), tr("time-out")});
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
