#include "CountSet.h"

#include <QStringList>

#include <limits>

namespace {

constexpr quint64 kOpen = std::numeric_limits<quint64>::max();

bool number(const QString &text, quint64 *value)
{
    bool ok = false;
    *value = text.trimmed().toULongLong(&ok);
    return ok && *value > 0;
}

} // namespace

bool CountSet::parse(const QString &text, CountSet *set, QString *error)
{
    CountSet result;
    const QStringList pieces = text.split(QLatin1Char(','));
    for (const QString &piece : pieces) {
        const int dash = piece.indexOf(QLatin1Char('-'));
        Range range{0, 0};
        bool ok;
        if (dash < 0) {
            ok = number(piece, &range.first);
            range.last = range.first;
        } else if (piece.mid(dash + 1).trimmed().isEmpty()) {
            ok = number(piece.left(dash), &range.first);
            range.last = kOpen;
        } else {
            ok = number(piece.left(dash), &range.first) && number(piece.mid(dash + 1), &range.last)
                && range.last >= range.first;
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("'%1' is not a count (N, N-M, N- or a list of them, N >= 1)")
                             .arg(text);
            return false;
        }
        result.m_ranges.append(range);
    }
    *set = result;
    return true;
}

CountSet CountSet::from(quint64 first)
{
    CountSet set;
    set.m_ranges.append({qMax<quint64>(first, 1), kOpen});
    return set;
}

bool CountSet::contains(quint64 n) const
{
    for (const Range &range : m_ranges)
        if (n >= range.first && n <= range.last)
            return true;
    return false;
}

CountSet CountSet::shifted(quint64 offset) const
{
    CountSet set;
    for (Range range : m_ranges) {
        range.first += offset;
        if (range.last != kOpen)
            range.last += offset;
        set.m_ranges.append(range);
    }
    return set;
}

void CountSet::unite(const CountSet &other)
{
    m_ranges += other.m_ranges;
}
