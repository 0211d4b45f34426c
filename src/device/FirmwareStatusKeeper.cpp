#include "FirmwareStatusKeeper.h"

#include "DevicesModel.h"
#include "Timings.h"

#include <QTimerEvent>

FirmwareStatusKeeper::FirmwareStatusKeeper(DevicesModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
}

bool FirmwareStatusKeeper::ownsStatus(int status)
{
    return status == DeviceInfo::UpgradingFirmware || status == DeviceInfo::WaitingForFirmware
        || status == DeviceInfo::Restarting;
}

bool FirmwareStatusKeeper::canUpgrade(int status)
{
    return status == DeviceInfo::Connected || status == DeviceInfo::Error
        || status == DeviceInfo::WaitingForFirmware;
}

int FirmwareStatusKeeper::statusOf(const QString &serial) const
{
    return m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::StatusRole).toInt();
}

void FirmwareStatusKeeper::setStatus(const QString &serial, int status)
{
    m_model->setValue(DeviceInfo::SerialNumber, serial, DeviceInfo::Status, status);
}

void FirmwareStatusKeeper::queued(const QString &serial)
{
    const int status = statusOf(serial);
    if (status == DeviceInfo::WaitingForFirmware)
        return;
    m_statusBefore.insert(serial, status);
    setStatus(serial, DeviceInfo::WaitingForFirmware);
}

void FirmwareStatusKeeper::dropped(const QString &serial)
{
    const int before = m_statusBefore.take(serial);
    if (statusOf(serial) == DeviceInfo::WaitingForFirmware)
        setStatus(serial, before);
}

bool FirmwareStatusKeeper::flashed(const QString &serial, bool succeeded)
{
    m_statusBefore.remove(serial);
    for (auto it = m_graceTimers.begin(); it != m_graceTimers.end();) {
        if (it.value() == serial) {
            killTimer(it.key());
            it = m_graceTimers.erase(it);
        } else {
            ++it;
        }
    }
    if (!m_model->keptSerialNumbers().contains(serial))
        return false;
    if (succeeded)
        setStatus(serial, DeviceInfo::Restarting);
    m_graceTimers.insert(startTimer(Timings::ms(Timings::FlashedDeviceGrace)), serial);
    return true;
}

void FirmwareStatusKeeper::clear()
{
    for (auto it = m_graceTimers.cbegin(); it != m_graceTimers.cend(); ++it)
        killTimer(it.key());
    m_graceTimers.clear();
    m_statusBefore.clear();
}

void FirmwareStatusKeeper::timerEvent(QTimerEvent *event)
{
    const auto it = m_graceTimers.find(event->timerId());
    if (it == m_graceTimers.end())
        return QObject::timerEvent(event);
    killTimer(it.key());
    const QString serial = it.value();
    m_graceTimers.erase(it);
    // Read again meanwhile: its fresh record holds the row, nothing is kept.
    const int status = statusOf(serial);
    if (m_model->keptSerialNumbers().contains(serial)
        && (status == DeviceInfo::Restarting || status == DeviceInfo::Error))
        emit gaveUp(serial);
}
