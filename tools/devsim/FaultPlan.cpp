#include "FaultPlan.h"

namespace {

const char *const kNames[FaultPlan::KindCount] = {
    "drop-answer", "corrupt-crc", "corrupt-length", "wrong-id", "stay-busy", "unplug-after-parts",
};

} // namespace

bool FaultPlan::kindFromName(const QString &name, Kind *kind)
{
    for (int i = 0; i < KindCount; ++i) {
        if (name == QLatin1String(kNames[i])) {
            *kind = static_cast<Kind>(i);
            return true;
        }
    }
    return false;
}

QStringList FaultPlan::names()
{
    QStringList list;
    for (const char *name : kNames)
        list << QLatin1String(name);
    return list;
}

void FaultPlan::add(Kind kind, const CountSet &numbers)
{
    m_sets[kind].unite(numbers);
}

bool FaultPlan::hits(Kind kind, quint64 number) const
{
    return m_sets[kind].contains(number);
}

void FaultPlan::clear()
{
    for (CountSet &set : m_sets)
        set = CountSet();
}
