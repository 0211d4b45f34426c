#include "PublishReport.h"

#include "CliPrinter.h"
#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "DevicesModel.h"

PublishReport::PublishReport(PublishingProgress *progress, DevicesManager *devices, CliPrinter &printer,
                             QObject *parent)
    : QObject(parent)
    , m_model(devices->devicesModel())
    , m_printer(printer)
{
    connect(progress, &PublishingProgress::stepReached, this, &PublishReport::onStep);
    connect(progress, &PublishingProgress::finished, this, &PublishReport::onFinished);
    connect(devices, &DevicesManager::deviceRefused, this, &PublishReport::onRefused);
    connect(devices, &DevicesManager::firmwareUpgradeFinished, this,
            [this](const QString &serial, bool isSuccess) { onFirmwareFinished(serial, isSuccess); });
    connect(m_model, &DevicesModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { onRowsAboutToBeRemoved(first, last); });
    connect(m_model, &DevicesModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
}

void PublishReport::print(const QString &mac, const QString &event, const QString &detail, const QString &reason)
{
    CliEvent line{m_model->findValue(DevicesModel::MacAddressRole, mac, DevicesModel::SerialNumberRole).toString(),
                  mac, event, detail, reason};
    line.namedByMac = true;
    m_printer.print(line);
}

void PublishReport::markFinal(const QString &device, bool succeeded)
{
    m_final.insert(device, succeeded);
    emit changed();
}

void PublishReport::onStep(const QString &mac, PublishingProgress::Step step, const QString &detail)
{
    if (m_unplugged.contains(mac))
        return;
    switch (step) {
    case PublishingProgress::Registered:
        print(mac, QStringLiteral("registered"));
        break;
    case PublishingProgress::CampaignReceived:
        print(mac, QStringLiteral("campaign"), detail);
        break;
    case PublishingProgress::FirmwareOffered:
        print(mac, QStringLiteral("firmware offered"));
        break;
    case PublishingProgress::Erasing:
        print(mac, QStringLiteral("erasing"));
        break;
    case PublishingProgress::Erased:
        print(mac, QStringLiteral("erased"));
        break;
    case PublishingProgress::FirmwareFailed:
        print(mac, QStringLiteral("failed"), QString(), detail);
        m_firmwareFailed.insert(mac);
        break;
    }
}

void PublishReport::onFinished(const QString &mac, PublishingProgress::Outcome outcome, const QString &detail)
{
    if (m_unplugged.contains(mac))
        return;
    switch (outcome) {
    case PublishingProgress::Published:
        print(mac, QStringLiteral("uploaded"), tr("%1 items").arg(detail));
        break;
    case PublishingProgress::UpToDate:
        print(mac, QStringLiteral("up to date"));
        break;
    case PublishingProgress::Failed:
        print(mac, QStringLiteral("failed"), QString(), detail);
        break;
    case PublishingProgress::NextPass:
        return; // the step before says why; the device is not done
    }
    markFinal(mac, outcome != PublishingProgress::Failed);
}

void PublishReport::onRefused(const QString &serial, const QString &reason)
{
    // Named by its serial number: its MAC is another device's.
    const QString mac = m_model->findValue(DevicesModel::SerialNumberRole, serial, DevicesModel::MacAddressRole).toString();
    m_printer.print(CliEvent{serial, mac, QStringLiteral("failed"), QString(), reason});
    markFinal(serial, false);
}

// A device flashed successfully leaves the bus to come back with its new
// firmware: its row going is no unplugging.
void PublishReport::onFirmwareFinished(const QString &serial, bool isSuccess)
{
    if (isSuccess)
        m_restarting.insert(serial);
}

void PublishReport::onRowsAboutToBeRemoved(int first, int last)
{
    bool any = false;
    for (int row = first; row <= last; ++row) {
        const DeviceInfo device = m_model->device(row);
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        const QString serial = device.value(DeviceInfo::SerialNumber).toString();
        // A device being flashed leaves the bus and comes back: not unplugged.
        if (mac.isEmpty() || m_restarting.contains(serial)
            || device.value(DeviceInfo::Status).toInt() == DeviceInfo::UpgradingFirmware)
            continue;
        if (!m_final.contains(mac)) {
            CliEvent line{serial, mac, QStringLiteral("failed"), QString(), tr("the device was unplugged")};
            line.namedByMac = true;
            m_printer.print(line);
            m_final.insert(mac, false);
            m_unplugged.insert(mac);
            any = true;
        }
    }
    if (any)
        emit changed();
}

void PublishReport::onRowsInserted(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const DeviceInfo device = m_model->device(row);
        m_unplugged.remove(device.value(DeviceInfo::MacAddress).toString());
        m_restarting.remove(device.value(DeviceInfo::SerialNumber).toString());
    }
}

QStringList PublishReport::busyDevices() const
{
    QStringList busy;
    const QList<QString> kept = m_model->keptSerialNumbers();
    for (const DeviceInfo &device : m_model->devices()) {
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        const QString serial = device.value(DeviceInfo::SerialNumber).toString();
        if (mac.isEmpty())
            busy << serial;
        else if (m_final.contains(serial))
            continue; // refused: its MAC is another device's
        else if (!m_final.contains(mac) || kept.contains(serial))
            busy << mac;
    }
    return busy;
}

bool PublishReport::allSucceeded() const
{
    for (bool ok : m_final)
        if (!ok)
            return false;
    return m_firmwareFailed.isEmpty();
}
