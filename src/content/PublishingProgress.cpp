#include "PublishingProgress.h"

#include "DeviceInfo.h"
#include "DevicesManager.h"

PublishingProgress::PublishingProgress(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<PublishingProgress::Step>("PublishingProgress::Step");
    qRegisterMetaType<PublishingProgress::Outcome>("PublishingProgress::Outcome");
}

void PublishingProgress::setDevicesManager(DevicesManager *devices)
{
    m_devices = devices;
}

void PublishingProgress::begin(const QString &mac)
{
    if (!m_roads.contains(mac))
        m_roads.insert(mac, false);
}

bool PublishingProgress::isOnRoad(const QString &mac) const
{
    return m_roads.contains(mac);
}

void PublishingProgress::reach(const QString &mac, Step step, const QString &detail)
{
    if (m_roads.contains(mac))
        emit stepReached(mac, step, detail);
}

void PublishingProgress::noteDeviceJob(const QString &mac)
{
    if (m_roads.contains(mac))
        m_roads[mac] = true;
}

void PublishingProgress::finish(const QString &mac, Outcome outcome, const QString &detail)
{
    if (!m_roads.contains(mac))
        return;
    const bool hadJob = m_roads.take(mac);
    if (outcome == Failed)
        writeStatus(mac, DeviceInfo::Error, hadJob, detail);
    else if (outcome != NextPass)
        writeStatus(mac, DeviceInfo::Connected, hadJob, QString());
    emit finished(mac, outcome, detail);
}

void PublishingProgress::writeStatus(const QString &mac, int status, bool overOwnJob, const QString &error)
{
    if (!m_devices)
        return;
    const QVariant current = m_devices->deviceValue(mac, DeviceInfo::MacAddress);
    if (!current.isValid())
        return; // unplugged meanwhile
    const int now = m_devices->deviceValue(mac, DeviceInfo::Status).toInt();
    const bool idle = now == DeviceInfo::Connected || now == DeviceInfo::Error;
    // A firmware upgrade's status belongs to the upgrader alone; a transfer or
    // deletion status is this road's only when its own job left it behind.
    const bool leftByOwnJob = overOwnJob && (now == DeviceInfo::Transferring || now == DeviceInfo::DeletingContent);
    if (!idle && !leftByOwnJob)
        return;
    QHash<int, QVariant> values{{DeviceInfo::Status, status}};
    if (!error.isEmpty())
        values.insert(DeviceInfo::LastError, error);
    m_devices->setDeviceValues(mac, values);
}

void PublishingProgress::clear()
{
    m_roads.clear();
}
