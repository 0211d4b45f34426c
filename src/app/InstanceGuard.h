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
    enum class Lock {
        Taken,         // this process holds it now
        Held,          // a live process holds it
        Unavailable,   // it could not be taken at all (folder missing, no permission)
    };

    explicit InstanceGuard(const QString &lockFilePath = defaultLockFilePath());

    // Takes the lock on the first call and keeps it; later calls repeat the answer.
    Lock take();
    // Why the lock is Unavailable; empty otherwise.
    QString errorString() const;

    // Only a lock held by a live process means "running": the window starts
    // without a lock it cannot take.
    bool isAnotherInstanceRunning() { return take() == Lock::Held; }
    // The application name of the process that holds the lock ("Tamo",
    // "tamo-cli"); empty when it cannot be told.
    QString holder() const;
    // Where the instance that holds the lock listens for a second start: beside
    // the lock file.
    QString socketPath() const;

    static QString defaultLockFilePath();

private:
    const QString m_path;
    QLockFile m_lock;
    bool m_checked = false;
    Lock m_state = Lock::Unavailable;
    QString m_error;
};
