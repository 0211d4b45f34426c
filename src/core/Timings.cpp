#include "Timings.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <cmath>
#include <mutex>

namespace {

struct Entry {
    const char *name;
    int defaultMs;
};

// Indexed by Timings::Id; the static_assert below keeps the two in step.
constexpr Entry kTable[] = {
    {"HeartbeatInterval", 30000},
    {"ExpressBatteryInterval", 30000},
    {"DiscoveryPollInterval", 1000},
    {"DiscoverySafetyScan", 30000},
    {"LogScrollDelay", 200},
    {"SecondStartAnswer", 2000},
    {"DeviceStartDelay", 10000},
    {"CommandWait", 8000},
    {"PingDelay", 100},
    {"ReadLogDelay", 50},
    {"OpenDfuWait", 5000},
    {"OpenDfuDelay", 1000},
    {"PortResetClosed", 2000},
    {"PortResetReopened", 1000},
    {"RecoveryRetryPause", 3000},
    {"ConsoleWriteWait", 30000},
    {"ConsoleSilence", 4000},
    {"DfuToolStart", 30000},
    {"DfuToolRun", 120000},
    {"DfuCommandWrite", 30000},
    {"DfuMenuWrite", 3000},
    {"DfuConsoleReadChunk", 3000},
    {"DfuAfterCommand", 2000},
    {"DfuBeforeAttempt", 1000},
    {"DfuAfterAttempt", 3000},
    {"DfuToolKilled", 1000},
    {"DfuShutdownWait", 5000},
    {"FlashedDeviceGrace", 60000},
    {"RequestTimeout", 60000},
    {"DeleteWait", 180000},
    {"CleanUpWait", 180000},
    {"EraseWait", 1000},
};
static_assert(sizeof kTable / sizeof kTable[0] == Timings::Count, "one entry per timing");

int scaled(int value, double factor)
{
    if (value == 0)
        return 0;
    const double v = std::round(value * factor);
    return v < 1.0 ? 1 : static_cast<int>(qMin(v, 2147483647.0));
}

// Worker threads read timings while a test may still be adjusting them.
std::array<std::atomic<int>, Timings::Count> &values()
{
    static std::array<std::atomic<int>, Timings::Count> table;
    static std::once_flag once;
    std::call_once(once, [] {
        bool ok = false;
        const double factor = qEnvironmentVariable("TAMO_TIMING_SCALE").toDouble(&ok);
        const double f = ok && factor > 0.0 ? factor : 1.0;
        for (int i = 0; i < Timings::Count; ++i)
            table[i].store(scaled(kTable[i].defaultMs, f));
    });
    return table;
}

bool valid(Timings::Id id)
{
    return id >= 0 && id < Timings::Count;
}

} // namespace

int Timings::ms(Id id)
{
    return valid(id) ? values()[id].load(std::memory_order_relaxed) : 0;
}

int Timings::defaultMs(Id id)
{
    return valid(id) ? kTable[id].defaultMs : 0;
}

const char *Timings::name(Id id)
{
    return valid(id) ? kTable[id].name : "";
}

void Timings::setScale(double factor)
{
    if (!(factor > 0.0))
        return;
    for (int i = 0; i < Count; ++i)
        values()[i].store(scaled(kTable[i].defaultMs, factor));
}

void Timings::set(Id id, int ms)
{
    if (valid(id))
        values()[id].store(qMax(0, ms));
}

void Timings::restoreDefaults()
{
    for (int i = 0; i < Count; ++i)
        values()[i].store(kTable[i].defaultMs);
}
