#include "PublishingProgress.h"

#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "DevicesModel.h"

#include <QDebug>

namespace {

// The statuses a pass writes; any other (a firmware upgrade, say) is another's.
bool ownedByPasses(int status)
{
    return status == DeviceInfo::Connected || status == DeviceInfo::Error || status == DeviceInfo::Transferring
        || status == DeviceInfo::DeletingContent;
}

const char *stateName(PublishingRun::State state)
{
    static const char *const names[] = {"waiting for the minimum firmware", "registering", "loading its record",
                                        "fetching firmware", "erasing", "loading its campaign",
                                        "loading the campaign's content", "fetching pictures", "listing the device",
                                        "loading creation dates", "deleting", "uploading", "reporting the status"};
    return names[state];
}

} // namespace

PublishingProgress::PublishingProgress(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<PublishingProgress::Step>("PublishingProgress::Step");
    qRegisterMetaType<PublishingProgress::Outcome>("PublishingProgress::Outcome");
}

PublishingProgress::~PublishingProgress() = default;

void PublishingProgress::setDevicesManager(DevicesManager *devices)
{
    if (m_devices)
        disconnect(m_devices->devicesModel(), nullptr, this, nullptr);
    m_devices = devices;
    if (!m_devices)
        return;
    connect(m_devices->devicesModel(), &DevicesModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { onRowsAboutToBeRemoved(first, last); });
}

PublishingRun *PublishingProgress::begin(const QString &mac, const QString &serial)
{
    if (PublishingRun *open = openRun(mac)) {
        qDebug().noquote() << "A newer pass replaces the one of" << mac << "that was" << stateName(open->state);
        end(open, NextPass, QString(), false);
    }
    auto run = std::make_unique<PublishingRun>();
    run->id = ++m_lastId;
    run->mac = mac;
    run->serial = serial;
    PublishingRun *opened = run.get();
    m_runs.emplace(opened->id, std::move(run));
    m_open.insert(mac, opened->id);
    return opened;
}

bool PublishingProgress::isOnRoad(const QString &mac) const
{
    return m_open.contains(mac);
}

PublishingRun *PublishingProgress::openRun(const QString &mac) const
{
    const auto id = m_open.constFind(mac);
    if (id == m_open.cend())
        return nullptr;
    const auto run = m_runs.find(*id);
    return run == m_runs.end() ? nullptr : run->second.get();
}

QList<PublishingRun *> PublishingProgress::runsIn(PublishingRun::State state) const
{
    QList<PublishingRun *> runs;
    for (const auto &entry : m_runs)
        if (entry.second->state == state)
            runs.append(entry.second.get());
    return runs;
}

PublishingRun *PublishingProgress::answered(quint64 ticket, PublishingRun::State expected, const char *what)
{
    const auto found = m_runs.find(ticket);
    if (found == m_runs.end()) {
        qDebug() << "Dropped" << what << "of pass" << ticket << "that has ended";
        return nullptr;
    }
    PublishingRun *run = found->second.get();
    if (run->state != expected) {
        qDebug().noquote() << "Dropped" << what << "of pass" << ticket << "of" << run->mac << "that is"
                           << stateName(run->state);
        return nullptr;
    }
    return run;
}

void PublishingProgress::enter(PublishingRun *run, PublishingRun::State state)
{
    run->state = state;
    switch (state) {
    case PublishingRun::Erasing:
    case PublishingRun::Deleting:
        return writeStatus(*run, DeviceInfo::DeletingContent, QString());
    case PublishingRun::Uploading:
        return writeStatus(*run, DeviceInfo::Transferring, QString());
    default:
        return;
    }
}

void PublishingProgress::reach(PublishingRun *run, Step step, const QString &detail)
{
    emit stepReached(run->mac, step, detail);
}

void PublishingProgress::finish(PublishingRun *run, Outcome outcome, const QString &detail)
{
    end(run, outcome, detail, true);
}

void PublishingProgress::end(PublishingRun *run, Outcome outcome, const QString &detail, bool writesStatus)
{
    const auto found = m_runs.find(run->id);
    if (found == m_runs.end())
        return;
    const std::unique_ptr<PublishingRun> ending = std::move(found->second);
    m_runs.erase(found);
    m_open.remove(ending->mac);
    if (writesStatus) {
        // A firmware offer that failed leaves its reason on the device, also
        // when the campaign went through.
        const QString error = outcome == Failed ? detail : ending->firmwareFailure;
        writeStatus(*ending, error.isEmpty() ? DeviceInfo::Connected : DeviceInfo::Error, error);
    }
    emit runEnding(*ending);
    emit finished(ending->mac, outcome, detail);
}

void PublishingProgress::writeStatus(const PublishingRun &run, int status, const QString &error)
{
    if (!m_devices || !m_devices->deviceValue(run.mac, DeviceInfo::MacAddress).isValid())
        return; // unplugged meanwhile
    if (!ownedByPasses(m_devices->deviceValue(run.mac, DeviceInfo::Status).toInt()))
        return;
    QHash<int, QVariant> values{{DeviceInfo::Status, status}};
    if (!error.isEmpty())
        values.insert(DeviceInfo::LastError, error);
    m_devices->setDeviceValues(run.mac, values);
}

// A pass that waits for a job on the device hears of the unplugging from the
// job, which fails and says how far it got, and one that tells the cloud how
// its upload went has its outcome already; any other ends here, so that
// whatever it still waits for from the cloud is dropped when it arrives.
void PublishingProgress::onRowsAboutToBeRemoved(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const DeviceInfo device = m_devices->devicesModel()->device(row);
        PublishingRun *run = openRun(device.value(DeviceInfo::MacAddress).toString());
        if (!run || run->serial != device.value(DeviceInfo::SerialNumber).toString() || endsByItself(*run))
            continue;
        end(run, Failed, tr("the device was unplugged"), false);
    }
}

bool PublishingProgress::endsByItself(const PublishingRun &run)
{
    switch (run.state) {
    case PublishingRun::Erasing:
    case PublishingRun::Listing:
    case PublishingRun::Deleting:
    case PublishingRun::Uploading:
    case PublishingRun::ReportingStatus:
        return true;
    default:
        return false;
    }
}

void PublishingProgress::clear()
{
    for (auto &entry : m_runs)
        emit runEnding(*entry.second);
    m_runs.clear();
    m_open.clear();
}
