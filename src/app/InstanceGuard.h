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
    // The application name of the process that holds the lock ("Tamo",
    // "tamo-cli"); empty when it cannot be told.
    QString holder() const;
    // Where the instance that holds the lock listens for a second start: beside
    // the lock file.
    QString socketPath() const;

    static QString defaultLockFilePath();

private:
    QString m_path;
    QLockFile m_lock;
    bool m_checked = false;
    bool m_otherRunning = false;
};
