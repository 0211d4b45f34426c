#pragma once

#include <QtGlobal>

#include <ctime>

// CPU time of this whole process (every thread), in nanoseconds.
inline qint64 processCpuNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
