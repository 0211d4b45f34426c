#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class DevicesModel;

// The statuses a firmware upgrade gives a device outside the flash itself:
// "waiting for firmware" while its upgrade waits for its turn, and "restarting"
// once it has been flashed and is off the bus. A device off the bus after its
// upgrade keeps its row, and its place in the list, until it is read again (the
// fresh record takes the row) or the grace period passes; then gaveUp() says the
// row should go. One whose upgrade failed keeps its error, and the reason with
// it, while it is away: it is not restarting, it may well be stuck in its boot
// loader.
class FirmwareStatusKeeper : public QObject
{
    Q_OBJECT

public:
    explicit FirmwareStatusKeeper(DevicesModel *model, QObject *parent = nullptr);

    // Statuses that only the firmware side changes; other jobs leave them alone.
    static bool ownsStatus(int status);
    // A device with this status can be given a firmware upgrade (a waiting one
    // takes the newer file).
    static bool canUpgrade(int status);

    // Its upgrade was asked for and waits for its turn.
    void queued(const QString &serial);
    // Its upgrade left the line before it started: the status goes back.
    void dropped(const QString &serial);
    // Its upgrade has ended. A device off the bus now waits for its grace
    // period, restarting after a success; true then.
    bool flashed(const QString &serial, bool succeeded);
    void clear();

signals:
    void gaveUp(QString serial);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    int statusOf(const QString &serial) const;
    void setStatus(const QString &serial, int status);

    DevicesModel *m_model;
    QHash<QString, int> m_statusBefore;  // waiting devices: the status to go back to
    QHash<int, QString> m_graceTimers;   // timer id -> restarting device
};
