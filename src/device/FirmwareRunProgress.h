#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

// The overall progress of one run of firmware upgrades, from the first device
// asked for while the firmware side was idle until it is idle again: how many
// of the devices asked for are upgraded, and how long the rest will take at
// the rate the devices of this run have ended so far.
class FirmwareRunProgress : public QObject
{
    Q_OBJECT

public:
    explicit FirmwareRunProgress(QObject *parent = nullptr);

    // Devices asked for; the first ones after close() start a new run.
    void add(const QStringList &serials);
    void ended(const QString &serial, bool upgraded);
    // Left the line before their upgrade started: no longer part of the run.
    void dropped(const QString &serial);
    // The firmware side is idle: the figures stay until the next run starts.
    void close();

    int upgraded() const { return m_upgraded; }
    int total() const { return m_ended + m_pending.size(); }
    QString text() const;

    // "n of m upgraded, about X min left": the devices not yet ended take as long
    // each as the ended ones took on average, counted from the run's start (the
    // devices flashed side by side share that time). Without an ended device
    // there is no rate yet, and with all of them ended nothing is left.
    static QString summary(int upgraded, int ended, int total, qint64 elapsedMs);

signals:
    void changed(int upgraded, int total, QString text);

private:
    void announce();

    QSet<QString> m_pending;
    int m_upgraded = 0;
    int m_ended = 0;
    bool m_open = false;
    QElapsedTimer m_clock;
};
