#include "InstanceGuard.h"

#include "AppPaths.h"

InstanceGuard::InstanceGuard(const QString &lockFilePath)
    : m_path(lockFilePath)
    , m_lock(lockFilePath)
{
    // A running instance holds its lock for days: age alone must never make it
    // stale. Staleness is decided by whether the owning process still lives.
    m_lock.setStaleLockTime(0);
}

QString InstanceGuard::defaultLockFilePath()
{
    return AppPaths::dataFolder() + QStringLiteral("/instance.lock");
}

bool InstanceGuard::isAnotherInstanceRunning()
{
    if (m_checked)
        return m_otherRunning;
    m_checked = true;
    if (m_lock.tryLock(0)) {
        m_otherRunning = false;
    } else {
        // Only a lock held by a live process means "running"; a lock file that
        // cannot be written at all must not stop the application from starting.
        m_otherRunning = m_lock.error() == QLockFile::LockFailedError;
    }
    return m_otherRunning;
}

QString InstanceGuard::holder() const
{
    qint64 pid = 0;
    QString hostname;
    QString application;
    return m_lock.getLockInfo(&pid, &hostname, &application) ? application : QString();
}

QString InstanceGuard::socketPath() const
{
    QString path = m_path;
    if (path.endsWith(QLatin1String(".lock")))
        path.chop(5);
    return path + QStringLiteral(".socket");
}
