#include "Limits.h"

#include <QtGlobal>

#include <array>
#include <atomic>
#include <mutex>

namespace {

struct Entry {
    const char *name;
    int defaultValue;
    const char *environment;
};

// Indexed by Limits::Id; the static_assert below keeps the two in step.
constexpr Entry kTable[] = {
    {"MaxParallelUpgrades", 8, "TAMO_MAX_PARALLEL_UPGRADES"},
};
static_assert(sizeof kTable / sizeof kTable[0] == Limits::Count, "one entry per limit");

// Worker threads read limits while a test may still be adjusting them.
std::array<std::atomic<int>, Limits::Count> &values()
{
    static std::array<std::atomic<int>, Limits::Count> table;
    static std::once_flag once;
    std::call_once(once, [] {
        for (int i = 0; i < Limits::Count; ++i) {
            bool ok = false;
            const int fromEnvironment = qEnvironmentVariableIntValue(kTable[i].environment, &ok);
            table[i].store(ok && fromEnvironment > 0 ? fromEnvironment : kTable[i].defaultValue);
        }
    });
    return table;
}

bool valid(Limits::Id id)
{
    return id >= 0 && id < Limits::Count;
}

} // namespace

int Limits::value(Id id)
{
    return valid(id) ? values()[id].load(std::memory_order_relaxed) : 0;
}

int Limits::defaultValue(Id id)
{
    return valid(id) ? kTable[id].defaultValue : 0;
}

const char *Limits::name(Id id)
{
    return valid(id) ? kTable[id].name : "";
}

void Limits::set(Id id, int value)
{
    if (valid(id))
        values()[id].store(qMax(1, value));
}

void Limits::restoreDefaults()
{
    for (int i = 0; i < Count; ++i)
        values()[i].store(kTable[i].defaultValue);
}
