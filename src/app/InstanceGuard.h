#pragma once

#include <QLockFile>
#include <QString>

// Answers one question: is another instance of the application running for this
// user? The first instance holds a lock file in the data folder for as long as
// the guard lives; the operating system releases it when the process dies, and a
// lock left by a dead process never blocks a start.
class InstanceGuard
{
public:
    explicit InstanceGuard(const QString &lockFilePath = defaultLockFilePath());

    // Takes the lock on the first call and keeps it; later calls repeat the answer.
    bool isAnotherInstanceRunning();

    static QString defaultLockFilePath();

private:
    QLockFile m_lock;
    bool m_checked = false;
    bool m_otherRunning = false;
};
