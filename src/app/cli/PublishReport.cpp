#include "PublishReport.h"

#include "DeviceInfo.h"
#include "DevicesModel.h"

PublishReport::PublishReport(PublishingProgress *progress, DevicesModel *model, QTextStream &out, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_out(out)
{
    connect(progress, &PublishingProgress::stepReached, this, &PublishReport::onStep);
    connect(progress, &PublishingProgress::finished, this, &PublishReport::onFinished);
    connect(model, &DevicesModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { onRowsAboutToBeRemoved(first, last); });
    connect(model, &DevicesModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
}

void PublishReport::print(const QString &mac, const QStringList &columns)
{
    QStringList line{mac};
    for (QString column : columns)
        line << column.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_out << line.join(QLatin1Char('\t')) << Qt::endl;
}

void PublishReport::onStep(const QString &mac, PublishingProgress::Step step, const QString &detail)
{
    if (m_unplugged.contains(mac))
        return;
    switch (step) {
    case PublishingProgress::Registered:
        print(mac, {QStringLiteral("registered")});
        break;
    case PublishingProgress::CampaignReceived:
        print(mac, {QStringLiteral("campaign"), detail});
        break;
    case PublishingProgress::FirmwareOffered:
        print(mac, {QStringLiteral("firmware offered")});
        break;
    case PublishingProgress::Erasing:
        print(mac, {QStringLiteral("erasing")});
        break;
    case PublishingProgress::Erased:
        print(mac, {QStringLiteral("erased")});
        break;
    }
}

void PublishReport::onFinished(const QString &mac, PublishingProgress::Outcome outcome, const QString &detail)
{
    if (m_unplugged.contains(mac))
        return;
    switch (outcome) {
    case PublishingProgress::Published:
        print(mac, {QStringLiteral("uploaded"), tr("%1 items").arg(detail)});
        break;
    case PublishingProgress::UpToDate:
        print(mac, {QStringLiteral("up to date")});
        break;
    case PublishingProgress::Failed:
        print(mac, {QStringLiteral("failed"), detail});
        break;
    case PublishingProgress::NextPass:
        return; // the step before says why; the device is not done
    }
    m_final.insert(mac, outcome != PublishingProgress::Failed);
    emit changed();
}

void PublishReport::onRowsAboutToBeRemoved(int first, int last)
{
    bool any = false;
    for (int row = first; row <= last; ++row) {
        const DeviceInfo device = m_model->device(row);
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        // A device being flashed leaves the bus and comes back: not unplugged.
        if (mac.isEmpty() || device.value(DeviceInfo::Status).toInt() == DeviceInfo::UpgradingFirmware)
            continue;
        if (!m_final.contains(mac)) {
            print(mac, {QStringLiteral("failed"), tr("the device was unplugged")});
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
    for (int row = first; row <= last; ++row)
        m_unplugged.remove(m_model->device(row).value(DeviceInfo::MacAddress).toString());
}

QStringList PublishReport::busyDevices() const
{
    QStringList busy;
    const QList<QString> kept = m_model->keptSerialNumbers();
    for (const DeviceInfo &device : m_model->devices()) {
        const QString mac = device.value(DeviceInfo::MacAddress).toString();
        if (mac.isEmpty())
            busy << device.value(DeviceInfo::SerialNumber).toString();
        else if (!m_final.contains(mac) || kept.contains(device.value(DeviceInfo::SerialNumber).toString()))
            busy << mac;
    }
    return busy;
}

bool PublishReport::allSucceeded() const
{
    for (bool ok : m_final)
        if (!ok)
            return false;
    return true;
}
