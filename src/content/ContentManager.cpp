#include "ContentManager.h"

#include "ActivityLog.h"
#include "LogCategories.h"

#include <QDebug>
#include <QVersionNumber>

namespace {

const QString kListingFailed = QStringLiteral("Failed loading uuids on device '%1' - '%2'. Skipped upload campaign.");
const QString kDatesFailed = QStringLiteral(
    "Failed loading files creating dates from server for device '%1' with an error '%2'. Skipped upload campaign.");
const QString kDeleteFailed = QStringLiteral("Failed delete content on device '%1'. Skipped upload campaign.");

// The lowest firmware that can list its content.
const QVersionNumber kListingFirmware(1, 5, 27);

// The entries of `list` that `exclude` does not hold, in order, duplicates kept.
QStringList without(const QStringList &list, const QStringList &exclude)
{
    QStringList kept;
    for (const QString &uuid : list)
        if (!exclude.contains(uuid))
            kept.append(uuid);
    return kept;
}

QStringList withoutDuplicates(QStringList list)
{
    list.removeDuplicates();
    return list;
}

} // namespace

ContentPlan ContentManager::plan(const QString &macAddress, const QStringList &filesUuids,
                                 const QStringList &slideShowUuids, const QStringList &slideShowFilesUuids)
{
    ContentPlan plan;
    plan.filesUuids = filesUuids;
    plan.slideShowUuids = slideShowUuids;
    plan.slideShowFilesUuids = slideShowFilesUuids;
    qInfo().noquote() << "\n Uuids To upload to device:" << macAddress << "\n Files Uuids To Device"
                      << filesUuids.size() << filesUuids << "\n SlideShow Uuids To Device" << slideShowUuids
                      << "\n SlideShow Files Uuids To Device" << slideShowFilesUuids.size() << slideShowFilesUuids;
    return plan;
}

bool ContentManager::canListContent(const QString &fwVersion)
{
    return QVersionNumber::fromString(fwVersion) >= kListingFirmware;
}

QStringList ContentManager::applyListing(const QString &macAddress, ContentPlan *plan, const QStringList &imagesUuids,
                                         const QStringList &ssUuids, int freeSlotsNumber)
{
    const QStringList &files = plan->filesUuids;
    const QStringList &slideShowFiles = plan->slideShowFilesUuids;
    const QStringList &slideShows = plan->slideShowUuids;

    QStringList onDevice;
    for (const QString &uuid : files + slideShowFiles + slideShows)
        if (imagesUuids.contains(uuid) || ssUuids.contains(uuid))
            onDevice.append(uuid);
    const QStringList missingFiles = without(files, imagesUuids);
    const QStringList missingSlideShowFiles = without(slideShowFiles, imagesUuids);
    const QStringList missingSlideShows = without(slideShows, ssUuids);

    for (const QString &uuid : withoutDuplicates(missingFiles + missingSlideShowFiles + imagesUuids)) {
        if (missingFiles.contains(uuid))
            plan->frameCounts[uuid] = missingFiles.count(uuid);
        if (missingSlideShowFiles.contains(uuid))
            plan->frameCounts[uuid] = missingSlideShowFiles.count(uuid);
        if (imagesUuids.contains(uuid))
            plan->frameCounts[uuid] = imagesUuids.count(uuid);
    }
    plan->filesUuids = missingFiles;
    plan->slideShowUuids = missingSlideShows;
    plan->slideShowFilesUuids = missingSlideShowFiles;
    plan->deviceImageUuids = imagesUuids;
    plan->onDeviceUuids = onDevice;
    plan->slotsToFree = qMax(0, missingFiles.size() + missingSlideShowFiles.size() - freeSlotsNumber);

    qInfo().noquote() << "\n Uuids already on device:" << macAddress << "\n - Files Uuids on Device"
                      << imagesUuids.size() << imagesUuids << "\n - SlideShow Uuids on Device" << ssUuids.size()
                      << ssUuids << "\n - SlideShow Files Uuids to Device" << missingSlideShowFiles.size()
                      << missingSlideShowFiles << "\n - slots need to free on Device" << plan->slotsToFree
                      << "\n - slots free on Device" << freeSlotsNumber;
    return without(withoutDuplicates(imagesUuids + ssUuids), onDevice);
}

ContentManager::Deletion ContentManager::chooseDeletions(const QString &macAddress, const ContentPlan &plan,
                                                         const QMap<QDateTime, QString> &uuidsOnDevice,
                                                         const QMap<QString, QStringList> &ssContentUuids)
{
    Deletion deletion;
    if (plan.slotsToFree < 1)
        return deletion;
    QStringList dated;
    for (const QString &uuid : uuidsOnDevice)
        if (!ssContentUuids.contains(uuid))
            dated.append(uuid);
    int need = plan.slotsToFree;
    selectForDeletion(dated, plan, &need, &deletion);
    if (need > 0) {
        // The device's pictures the cloud gave no date for; a GIF is listed once
        // per frame, so once is enough to count its slots.
        const QStringList undated = without(withoutDuplicates(plan.deviceImageUuids), dated);
        selectForDeletion(undated, plan, &need, &deletion);
    }
    deletion.slideShows = slideShowsToDelete(deletion.images + deletion.gifs, plan, ssContentUuids);
    qInfo().noquote() << "\n DELETING Uuids from device:" << macAddress << "\n Gifs Uuids To Delete" << deletion.gifs
                      << "\n Images Uuids To Delete" << deletion.images << "\n Loaded web Files Uuids details"
                      << uuidsOnDevice.size() << uuidsOnDevice.values() << "\n SlideShow Uuids To Delete"
                      << deletion.slideShows;
    return deletion;
}

void ContentManager::selectForDeletion(const QStringList &candidates, const ContentPlan &plan, int *need,
                                       Deletion *deletion)
{
    // Newest first: the dated list is in ascending creation order.
    for (int i = candidates.size() - 1; i >= 0 && *need >= 1; --i) {
        const QString &uuid = candidates.at(i);
        if (plan.filesUuids.contains(uuid) || plan.slideShowFilesUuids.contains(uuid)
            || plan.onDeviceUuids.contains(uuid))
            continue;
        const int frameSlots = qMax(1, plan.frameCounts.value(uuid));
        *need -= frameSlots;
        if (frameSlots >= 2)
            deletion->gifs.append(uuid);
        else
            deletion->images.append(uuid);
    }
}

QStringList ContentManager::slideShowsToDelete(const QStringList &deleted, const ContentPlan &plan,
                                               const QMap<QString, QStringList> &slideShowContents)
{
    QStringList slideShows;
    for (auto it = slideShowContents.constBegin(); it != slideShowContents.constEnd(); ++it) {
        if (plan.onDeviceUuids.contains(it.key()) || slideShows.contains(it.key()))
            continue;
        for (const QString &picture : it.value()) {
            if (deleted.contains(picture)) {
                slideShows.append(it.key());
                break;
            }
        }
    }
    return slideShows;
}

QStringList ContentManager::uploadList(const QString &macAddress, const ContentPlan &plan)
{
    const QStringList all = plan.filesUuids + plan.slideShowUuids + plan.slideShowFilesUuids;
    qInfo().noquote() << "\n UPLOADING Uuids to device:" << macAddress << "\n All Uuids To Device" << all
                      << "\n Numbers of Files, Ss, SsFiles" << plan.filesUuids.size() << plan.slideShowUuids.size()
                      << plan.slideShowFilesUuids.size();
    return all;
}

ActivityLine ContentManager::listingFailedText(const QString &macAddress, const QString &errorString)
{
    return ActivityLine(kListingFailed, {macAddress, errorString});
}

ActivityLine ContentManager::datesFailedText(const QString &macAddress, const QString &errorString)
{
    return ActivityLine(kDatesFailed, {macAddress, errorString});
}

ActivityLine ContentManager::deleteFailedText(const QString &macAddress)
{
    return ActivityLine(kDeleteFailed, {macAddress});
}

void ContentManager::failPreparing(const ActivityLine &message)
{
    ActivityLog::warning(lcContentManager, message);
}
