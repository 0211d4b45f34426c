#include "InstanceGuard.h"

#include "AppPaths.h"

#include <QFileInfo>

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

InstanceGuard::Lock InstanceGuard::take()
{
    if (m_checked)
        return m_state;
    m_checked = true;
    if (m_lock.tryLock(0)) {
        m_state = Lock::Taken;
        return m_state;
    }
    if (m_lock.error() == QLockFile::LockFailedError) {
        m_state = Lock::Held;
        return m_state;
    }
    m_state = Lock::Unavailable;
    const QFileInfo folder(QFileInfo(m_path).absolutePath());
    QString why;
    if (m_lock.error() == QLockFile::PermissionError)
        why = QStringLiteral("permission denied");
    else if (!folder.exists())
        why = QStringLiteral("the folder %1 does not exist").arg(folder.filePath());
    else if (!folder.isDir())
        why = QStringLiteral("%1 is not a folder").arg(folder.filePath());
    else
        why = QStringLiteral("the file cannot be created there");
    m_error = QStringLiteral("cannot take the instance lock %1: %2").arg(m_path, why);
    return m_state;
}

QString InstanceGuard::errorString() const
{
    return m_error;
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
