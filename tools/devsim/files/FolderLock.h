#pragma once

#include <QString>

// Holds an exclusive advisory lock on the simulated-port folder for its
// lifetime. The device simulator and the upgrade tool stand-in both change a
// device's DFU state file; the lock keeps one from undoing the other's change.
class FolderLock
{
public:
    explicit FolderLock(const QString &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool isLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
