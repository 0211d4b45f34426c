#include "DfuUpgrader.h"

#include "DfuFlash.h"
#include "Limits.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString toolFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("dfu-util.exe");
#else
    return QStringLiteral("dfu-util");
#endif
}

bool sameDevice(const DfuJob &a, const DfuJob &b)
{
    return a.device.serialNumber == b.device.serialNumber;
}

} // namespace

DfuUpgrader::DfuUpgrader(QObject *parent)
    : QObject(parent)
    , m_toolPath(locateTool())
{
    m_pool.setObjectName(QStringLiteral("Firmware upgrade"));
}

DfuUpgrader::~DfuUpgrader()
{
    abort();
    m_pool.waitForDone();
}

QString DfuUpgrader::locateTool()
{
    const QString fromEnvironment = qEnvironmentVariable("TAMO_DFU_UTIL");
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();

    // Never the working directory: for a service that is the home folder, where
    // whatever lies there would be run with the devices' access.
    const QString folder = QCoreApplication::applicationDirPath();
    const QString besideExecutable = folder.isEmpty() ? QString() : folder + QLatin1Char('/') + toolFileName();
    if (!besideExecutable.isEmpty() && QFileInfo(besideExecutable).isFile())
        return besideExecutable;
    // An empty or relative entry of PATH ("." included) means the working directory too.
    QStringList searchPath;
    for (const QString &entry : qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(entry))
            searchPath << entry;
    const QString onPath =
        searchPath.isEmpty() ? QString() : QStandardPaths::findExecutable(toolFileName(), searchPath);
    if (!onPath.isEmpty())
        return onPath;
    return besideExecutable.isEmpty() ? toolFileName() : besideExecutable;
}

QString DfuUpgrader::toolPath() const
{
    return m_toolPath;
}

void DfuUpgrader::setDevices(const QList<DfuJob> &jobs)
{
    QMutexLocker lock(&m_mutex);
    QList<DfuJob> fresh;
    for (const DfuJob &job : jobs) {
        auto same = [&job](const DfuJob &other) { return sameDevice(other, job) && other.filePath == job.filePath; };
        if (std::any_of(m_current.cbegin(), m_current.cend(), same) || std::any_of(m_queue.cbegin(), m_queue.cend(), same)
            || std::any_of(fresh.cbegin(), fresh.cend(), same))
            continue;
        fresh.append(job);
    }
    for (const DfuJob &job : fresh) {
        // The newer request for a device wins over a queued one with another file.
        m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                     [&job](const DfuJob &queued) {
                                         return sameDevice(queued, job) && queued.filePath != job.filePath;
                                     }),
                      m_queue.end());
    }
    m_queue += fresh;

    // A lane for every queued device, as far as the limit allows; lanes already
    // started that hold no device yet take the first ones.
    const int limit = Limits::value(Limits::MaxParallelUpgrades);
    m_pool.setMaxThreadCount(qMax(limit, m_pool.maxThreadCount()));
    const int starting = m_lanes - m_current.size();
    const int wanted = qMin(limit - m_lanes, m_queue.size() - starting);
    for (int i = 0; i < wanted; ++i) {
        ++m_lanes;
        m_pool.start([this] { runLane(); });
    }
}

void DfuUpgrader::stop()
{
    QMutexLocker lock(&m_mutex);
    m_queue.clear();
}

void DfuUpgrader::abort()
{
    stop();
    m_abort.request();
}

bool DfuUpgrader::waitForDone(int msecs)
{
    return m_pool.waitForDone(msecs);
}

bool DfuUpgrader::isBusy() const
{
    QMutexLocker lock(&m_mutex);
    return !m_queue.isEmpty() || !m_current.isEmpty();
}

bool DfuUpgrader::isUpgrading(const QString &serialNumber) const
{
    if (serialNumber.isEmpty())
        return false;
    QMutexLocker lock(&m_mutex);
    auto named = [&serialNumber](const DfuJob &job) { return job.device.serialNumber == serialNumber; };
    return std::any_of(m_current.cbegin(), m_current.cend(), named)
        || std::any_of(m_queue.cbegin(), m_queue.cend(), named);
}

// One lane: devices one after the other, while any wait.
void DfuUpgrader::runLane()
{
    bool last = false;
    for (DfuJob job = takeNext(DfuJob(), &last); !job.isNull(); job = takeNext(job, &last))
        upgrade(job);
    if (last)
        emit allDevicesUpgraded();
}

// A job leaves the queue when a lane takes it, so a job is never flashed twice
// and stop() can empty the queue while devices are flashed.
DfuJob DfuUpgrader::takeNext(const DfuJob &done, bool *last)
{
    QMutexLocker lock(&m_mutex);
    if (!done.isNull())
        m_current.erase(std::remove_if(m_current.begin(), m_current.end(),
                                       [&done](const DfuJob &job) { return sameDevice(job, done); }),
                        m_current.end());
    if (!m_queue.isEmpty() && !m_abort.isRequested()) {
        m_current.append(m_queue.takeFirst());
        return m_current.last();
    }
    --m_lanes;
    *last = m_lanes == 0;
    return DfuJob();
}

void DfuUpgrader::upgrade(const DfuJob &job)
{
    emit started(job.device.serialNumber);
    DfuFlash flash(job, m_toolPath, m_abort);
    connect(&flash, &DfuFlash::progress, this, &DfuUpgrader::progress, Qt::DirectConnection);
    const bool ok = flash.run();
    emit finished(job.device.serialNumber, ok, flash.errorString());
}
