#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// A set of 1-based event numbers for fault injection, written "N", "N-M",
// "N-" (N and every later one) or a comma-separated list of those.
class CountSet
{
public:
    static bool parse(const QString &text, CountSet *set, QString *error);
    static CountSet from(quint64 first); // first and every later one

    bool isEmpty() const { return m_ranges.isEmpty(); }
    bool contains(quint64 n) const;
    // The same numbers counted after `offset` events have already happened.
    CountSet shifted(quint64 offset) const;
    void unite(const CountSet &other);

private:
    struct Range {
        quint64 first;
        quint64 last;
    };
    QVector<Range> m_ranges;
};
