#pragma once

#include <QString>

// Arms the process-wide crash handler before anything else runs.
// Windows: an unhandled-exception filter writes a minidump to
//   <local app data>\Tamo\Crashes\Tamo_<yyyy-MM-dd-hhmmss UTC>_<user>.dmp
// Linux and other Unix systems: a handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and
// SIGABRT writes, with async-signal-safe calls only, a report to
//   ~/.local/share/Tamo/Crashes/Tamo_<yyyy-MM-dd-hhmmss UTC>_<user>.txt
// and then lets the process die of the signal. The report is meant to be enough
// to start from: the signal (its sender, or the address it faulted on), the
// application and Qt versions, the operating system, the UTC time, the process
// and the thread that crashed, a backtrace, and the last log lines (LogTail).
class CrashHandler
{
public:
    static void install();

    // The report's file name for a UTC time and a user: "Tamo_" + stamp + "_" +
    // user + extension. The handler builds the same name without allocating.
    static QString reportFileName(int year, int month, int day, int hour, int minute,
                                  int second, const QString &user);
    static QString reportExtension();
};
