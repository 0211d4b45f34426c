#pragma once

#include <QByteArray>
#include <QStringList>

// The firmware's own event log, read with identifier 12: the newest lines,
// each sent as text followed by a zero byte.
class DeviceLog
{
public:
    static constexpr int kMaxLines = 48;

    void append(const QString &line);
    const QStringList &lines() const { return m_lines; }
    QByteArray payload() const;

private:
    QStringList m_lines;
};
