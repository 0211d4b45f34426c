#pragma once

#include <QString>

// Removes files on the process's worker threads. A state file that replaces its
// predecessor frees the old file's blocks; on a filesystem mounted with online
// discard that costs about a millisecond, and the device's answer must not wait
// for it. So the old file keeps a second name until the reaper removes it.
class FileReaper
{
public:
    static void remove(const QString &path);
    // Returns once every file handed over is gone.
    static void waitForDone();
};
