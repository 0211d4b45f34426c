#pragma once

#include "ActivityLine.h"
#include "ContentPlan.h"

#include <QDateTime>
#include <QMap>
#include <QStringList>

// Plans one device's upload: what of a campaign is already on the device,
// which items on the device are deleted to make room, and which uuids are then
// uploaded. Works on uuid lists only and keeps nothing: the plan is the pass's
// (PublishingRun), which the campaign publisher moves from step to step. Every
// step logs what it decided.
class ContentManager
{
public:
    struct Deletion {
        QStringList images;
        QStringList gifs;
        QStringList slideShows;

        bool isEmpty() const { return images.isEmpty() && gifs.isEmpty() && slideShows.isEmpty(); }
    };

    // A plan for the campaign's frame uuids: single items, slideshows, and the
    // slideshows' pictures.
    static ContentPlan plan(const QString &macAddress, const QStringList &filesUuids, const QStringList &slideShowUuids,
                            const QStringList &slideShowFilesUuids);
    // Firmware below 1.5.27 cannot list its content: everything is uploaded.
    static bool canListContent(const QString &fwVersion);
    // Applies the device's listing to the plan: what it holds is not sent again
    // and counts how many slots must be freed. Returns the device's items the
    // campaign does not want, whose creation dates choose what goes.
    static QStringList applyListing(const QString &macAddress, ContentPlan *plan, const QStringList &imagesUuids,
                                    const QStringList &ssUuids, int freeSlotsNumber);
    // What to delete to free the plan's slots: dated items newest first, then
    // the device's undated pictures; a slideshow goes with one of its pictures.
    static Deletion chooseDeletions(const QString &macAddress, const ContentPlan &plan,
                                    const QMap<QDateTime, QString> &uuidsOnDevice,
                                    const QMap<QString, QStringList> &ssContentUuids);
    // Everything the plan still has to send: items, slideshows, their pictures.
    static QStringList uploadList(const QString &macAddress, const ContentPlan &plan);

    // The activity-log lines of a preparation that stops; failPreparing logs one.
    static ActivityLine listingFailedText(const QString &macAddress, const QString &errorString);
    static ActivityLine datesFailedText(const QString &macAddress, const QString &errorString);
    static ActivityLine deleteFailedText(const QString &macAddress);
    static void failPreparing(const ActivityLine &message);

private:
    static void selectForDeletion(const QStringList &candidates, const ContentPlan &plan, int *need,
                                  Deletion *deletion);
    static QStringList slideShowsToDelete(const QStringList &deleted, const ContentPlan &plan,
                                          const QMap<QString, QStringList> &slideShowContents);
};
