#pragma once

#include <QString>
#include <QStringList>

// Activity-log lines are shown as rich text, and the values they carry (names,
// MACs, error texts) come from devices and the cloud. Every value is escaped;
// the line's own text, with its <b> emphasis, is not.
class ActivityText
{
public:
    // Fills %1 … %9 of `line` with the values, each HTML-escaped, in one pass, so
    // that a value which itself holds "%2" stays as it is.
    static QString fill(const QString &line, const QStringList &values);
};
