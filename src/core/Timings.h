#pragma once

#include <QtGlobal>

// Every delay, period and time-out of the system, in milliseconds, in one table.
// The product always runs with these values; tests shrink them, either in-process
// with setScale()/set(), or for a child process with TAMO_TIMING_SCALE (a factor
// such as 0.01, read once on first use).
class Timings
{
public:
    enum Id {
        // Application and pages
        HeartbeatInterval,       // contents chef's periodic pass while logged in
        ExpressBatteryInterval,  // battery re-read on the express firmware page
        DiscoveryPollInterval,   // serial port enumeration
        DiscoverySafetyScan,     // a full enumeration even when the system announced nothing
        LogScrollDelay,          // activity log scrolls to the newest line
        SecondStartAnswer,       // a second start waiting for the running window to answer

        // Device jobs
        DeviceStartDelay,        // before a device is first (re)initialised
        CommandWait,             // default wait for one chunk of an RPC answer
        PingDelay,               // pause after each ping while a device is busy
        ReadLogDelay,            // pause after each device log request
        OpenDfuWait,             // wait for the answer to the RPC DFU switch
        OpenDfuDelay,            // pause after the RPC DFU switch
        PortResetClosed,         // port closed during a reset
        PortResetReopened,       // settle time after the port was reopened
        RecoveryRetryPause,      // before a retry after port recovery
        ConsoleWriteWait,        // a console write handed to the port
        ConsoleSilence,          // silence that ends a console answer

        // Firmware upgrade
        DfuToolStart,            // the upgrade tool process starting
        DfuToolRun,              // the upgrade tool process finishing
        DfuCommandWrite,         // writing the console's DFU command
        DfuMenuWrite,            // writing the console's menu request
        DfuConsoleReadChunk,     // one chunk of console output
        DfuAfterCommand,         // after the DFU command, before the tool runs
        DfuBeforeAttempt,        // before each download attempt
        DfuAfterAttempt,         // after each download attempt
        DfuToolKilled,           // a killed upgrade tool going
        DfuShutdownWait,         // the upgrade thread letting go of a device at the end
        FlashedDeviceGrace,      // a flashed device's row waits this long for it to come back

        // Cloud
        RequestTimeout,          // a request ends after this long without a byte moving

        // Device commands with their own answer waits
        DeleteWait,              // wait for the answer to a content delete
        CleanUpWait,             // wait for the answer to the store clean-up
        EraseWait,               // wait for the first answer to an erase

        Count
    };

    static int ms(Id id);
    static int defaultMs(Id id);
    static const char *name(Id id);

    // Test hooks: every timing becomes its default times factor (at least 1 ms
    // for a non-zero default); set() overrides one timing; restoreDefaults()
    // undoes both.
    static void setScale(double factor);
    static void set(Id id, int ms);
    static void restoreDefaults();
};
