#include "DeviceLog.h"

void DeviceLog::append(const QString &line)
{
    m_lines.append(line);
    while (m_lines.size() > kMaxLines)
        m_lines.removeFirst();
}

QByteArray DeviceLog::payload() const
{
    QByteArray bytes;
    for (const QString &line : m_lines) {
        bytes.append(line.toUtf8());
        bytes.append('\0');
    }
    return bytes;
}
