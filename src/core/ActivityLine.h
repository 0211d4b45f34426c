#pragma once

#include <QString>
#include <QStringList>

// One line of the operator's activity log, which the window shows as rich text.
// The line's own text (a constant of the system, with its <b> emphasis) is
// kept as it is; every value put into it (names, MACs, error texts, file
// names: things devices and the cloud say) is escaped, so a value is never
// markup. The activity log (ActivityLog) takes nothing else.
class ActivityLine
{
public:
    // Fills %1 … %9 of `line` with the values, each HTML-escaped, in one pass,
    // so that a value which itself holds "%2" stays as it is.
    explicit ActivityLine(const QString &line, const QStringList &values = {});

    const QString &text() const { return m_text; }

private:
    QString m_text;
};
