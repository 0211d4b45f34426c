#pragma once

#include "PublishingRun.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>

class DevicesManager;

// The one owner of every device's publishing state: at most one open pass
// (a PublishingRun) per device, with its state, the number its requests carry,
// and the single way it ends. The device's status in the model is written here
// alone, over the statuses a pass owns (Connected, Error, Transferring,
// DeletingContent); a firmware upgrade's statuses are the upgrader's.
//
// The window and tamo-cli read the two signals, so what a person sees and what
// a script sees agree.
class PublishingProgress : public QObject
{
    Q_OBJECT

public:
    // Milestones on the way; a pass may reach several or none.
    enum Step {
        Registered,       // the cloud answered the registration
        CampaignReceived, // the cloud named a campaign event to publish (detail: its id)
        FirmwareOffered,  // the cloud offered newer firmware; an upgrade follows
        Erasing,          // the cloud asked for the device's content to be erased
        Erased,           // erased, and the cloud told
        FirmwareFailed,   // the offered firmware could not be fetched or stored (detail: why)
    };
    Q_ENUM(Step)

    // How a pass ended. The first three are final for the device until the next
    // heartbeat; NextPass means it stopped for a reason that the next pass
    // resolves (an erase, a firmware upgrade, a newer pass), so the device is not done.
    enum Outcome {
        Published, // detail: the number of items transferred
        UpToDate,
        Failed,    // detail: the reason
        NextPass,
    };
    Q_ENUM(Outcome)

    explicit PublishingProgress(QObject *parent = nullptr);
    ~PublishingProgress() override;

    // A device that leaves the model ends its pass as unplugged (at once, or
    // through the failure of the job it was running).
    void setDevicesManager(DevicesManager *devices);

    // Opens a new pass for the device; an open one ends first (NextPass), so
    // whatever it still waits for is dropped when it arrives.
    PublishingRun *begin(const QString &mac, const QString &serial);
    bool isOnRoad(const QString &mac) const;
    PublishingRun *openRun(const QString &mac) const;
    QList<PublishingRun *> runsIn(PublishingRun::State state) const;

    // The pass an answer was asked for, when it is still open and in the state
    // that waits for this answer; otherwise null, after a debug line naming it.
    PublishingRun *answered(quint64 ticket, PublishingRun::State expected, const char *what);

    // Moves the pass on; entering a step that works on the device shows it.
    void enter(PublishingRun *run, PublishingRun::State state);
    void reach(PublishingRun *run, Step step, const QString &detail = QString());

    // The one way out: writes the device's status (Connected, or Error with
    // the reason), emits runEnding then finished, and deletes the pass.
    void finish(PublishingRun *run, Outcome outcome, const QString &detail = QString());

    // Ends every pass without a word (the chef was detached).
    void clear();

signals:
    void stepReached(QString mac, PublishingProgress::Step step, QString detail);
    void finished(QString mac, PublishingProgress::Outcome outcome, QString detail);
    // The pass is about to go: what it holds can be let go of.
    void runEnding(const PublishingRun &run);

private:
    void onRowsAboutToBeRemoved(int first, int last);
    static bool endsByItself(const PublishingRun &run);
    void writeStatus(const PublishingRun &run, int status, const QString &error);
    void end(PublishingRun *run, Outcome outcome, const QString &detail, bool writesStatus);

    QPointer<DevicesManager> m_devices;
    quint64 m_lastId = 0;
    std::map<quint64, std::unique_ptr<PublishingRun>> m_runs; // by id: the open passes
    QHash<QString, quint64> m_open;                           // MAC -> its open pass
};
