#include "PortWatch.h"

#include "PortEnumerator.h"
#include "Timings.h"

#include <QSocketNotifier>

#ifdef TAMO_HAVE_LIBUDEV
#include <libudev.h>
#endif

namespace {
const QString kDeviceFolder = QStringLiteral("/dev");
constexpr int kLooksPerSystemNotice = 2;
} // namespace

PortWatch::PortWatch(QObject *parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PortWatch::onDirectoryChanged);
    watchSystem();
    invalidate();
}

PortWatch::~PortWatch()
{
#ifdef TAMO_HAVE_LIBUDEV
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
#endif
}

void PortWatch::watchSystem()
{
    m_watcher.addPath(kDeviceFolder);
#ifdef TAMO_HAVE_LIBUDEV
    // Events come once udev has described the device, so its listing is complete.
    m_udev = udev_new();
    m_monitor = m_udev ? udev_monitor_new_from_netlink(m_udev, "udev") : nullptr;
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0)
        return;
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PortWatch::onUdevEvent);
#endif
}

void PortWatch::onUdevEvent()
{
#ifdef TAMO_HAVE_LIBUDEV
    while (udev_device *device = udev_monitor_receive_device(m_monitor))
        udev_device_unref(device);
#endif
    onSystemChanged();
}

// A folder that was removed and made again is watched again.
void PortWatch::watchFolder(const QString &folder)
{
    if (folder == m_folder && (folder.isEmpty() || m_watcher.directories().contains(folder)))
        return;
    if (!m_folder.isEmpty())
        m_watcher.removePath(m_folder);
    m_folder = folder;
    if (!m_folder.isEmpty())
        m_watcher.addPath(m_folder);
}

void PortWatch::onDirectoryChanged(const QString &path)
{
    if (path == m_folder)
        onFolderChanged();
    else
        onSystemChanged();
}

void PortWatch::onSystemChanged()
{
    m_systemLooks = kLooksPerSystemNotice;
}

void PortWatch::onFolderChanged()
{
    m_folderChanged = true;
}

void PortWatch::invalidate()
{
    onSystemChanged();
    onFolderChanged();
    m_sinceSafetyListing.start();
}

QVector<SerialPortFacts> PortWatch::ports()
{
    if (m_sinceSafetyListing.hasExpired(Timings::ms(Timings::DiscoverySafetyScan)))
        invalidate();
    if (m_systemLooks > 0) {
        --m_systemLooks;
        m_system = PortEnumerator::systemPorts();
    }
    if (m_folderChanged) {
        m_folderChanged = false;
        // Watched before it is read: a change while it is read is not missed.
        watchFolder(PortEnumerator::simulatedPortsFolder());
        m_simulated = PortEnumerator::simulatedPorts(m_folder);
    }
    return m_system + m_simulated;
}
