#include "FirmwareRunProgress.h"

#include <cmath>

FirmwareRunProgress::FirmwareRunProgress(QObject *parent)
    : QObject(parent)
{
}

void FirmwareRunProgress::add(const QStringList &serials)
{
    if (serials.isEmpty())
        return;
    if (!m_open) {
        m_open = true;
        m_pending.clear();
        m_upgraded = 0;
        m_ended = 0;
        m_clock.start();
    }
    for (const QString &serial : serials)
        m_pending.insert(serial);
    announce();
}

void FirmwareRunProgress::ended(const QString &serial, bool upgraded)
{
    if (!m_pending.remove(serial))
        return;
    ++m_ended;
    if (upgraded)
        ++m_upgraded;
    announce();
}

void FirmwareRunProgress::dropped(const QString &serial)
{
    if (m_pending.remove(serial))
        announce();
}

void FirmwareRunProgress::close()
{
    m_open = false;
    m_pending.clear();
}

QString FirmwareRunProgress::text() const
{
    return summary(m_upgraded, m_ended, total(), m_clock.isValid() ? m_clock.elapsed() : 0);
}

QString FirmwareRunProgress::summary(int upgraded, int ended, int total, qint64 elapsedMs)
{
    const QString done = tr("%1 of %2 upgraded").arg(upgraded).arg(total);
    if (ended <= 0 || ended >= total)
        return done;
    const double leftMs = double(elapsedMs) / ended * (total - ended);
    const int minutes = qMax(1, int(std::ceil(leftMs / 60000.0)));
    return tr("%1, about %2 min left").arg(done).arg(minutes);
}

void FirmwareRunProgress::announce()
{
    emit changed(m_upgraded, total(), text());
}
