#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class DevicesManager;

// Where each device stands on its publishing road (registration, the cloud's
// record, its campaign) and how the road ended. The parts of the contents chef
// report into it; the window and tamo-cli read the same two signals, so what a
// person sees and what a script sees agree.
class PublishingProgress : public QObject
{
    Q_OBJECT

public:
    // Milestones on the way; a road may pass several or none.
    enum Step {
        Registered,       // the cloud answered the registration
        CampaignReceived, // the cloud named a campaign event to publish (detail: its id)
        FirmwareOffered,  // the cloud offered newer firmware; an upgrade follows
        Erasing,          // the cloud asked for the device's content to be erased
        Erased,           // erased, and the cloud told
    };
    Q_ENUM(Step)

    // How a road ended. The first three are final for the device until the next
    // heartbeat; NextPass means the road stopped for a reason that the next pass
    // resolves (an erase, a firmware upgrade), so the device is not done.
    enum Outcome {
        Published, // detail: the number of items transferred
        UpToDate,
        Failed,    // detail: the reason
        NextPass,
    };
    Q_ENUM(Outcome)

    explicit PublishingProgress(QObject *parent = nullptr);

    void setDevicesManager(DevicesManager *devices);

    // Starts the road of a device (again); a road already under way goes on.
    void begin(const QString &mac);
    bool isOnRoad(const QString &mac) const;
    void reach(const QString &mac, Step step, const QString &detail = QString());
    // The road started a job on the device (listing, deletion, erase, upload):
    // a busy status that the job leaves behind is the road's to clear.
    void noteDeviceJob(const QString &mac);

    // The one way out of a road: records the outcome once, writes the device's
    // status (Connected after success, Error with the reason after a failure;
    // never over a job that is not this road's), emits finished. Does nothing for
    // a device that is not on its road.
    void finish(const QString &mac, Outcome outcome, const QString &detail = QString());

    // Forgets every road (the chef was detached).
    void clear();

signals:
    void stepReached(QString mac, PublishingProgress::Step step, QString detail);
    void finished(QString mac, PublishingProgress::Outcome outcome, QString detail);

private:
    // Writes the device's status unless the device is busy with a job that is
    // not the road's (a status written then would hide that job, and the
    // heartbeat would start another on its port).
    void writeStatus(const QString &mac, int status, bool overOwnJob, const QString &error);

    QPointer<DevicesManager> m_devices;
    // MAC -> whether the road started a device job.
    QHash<QString, bool> m_roads;
};
