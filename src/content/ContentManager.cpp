#include "ContentManager.h"

#include "LogCategories.h"

#include <QDebug>
#include <QVersionNumber>

namespace {

const char *const kPreparationRunning = "Managing content for this Mac address '%1' is in progress";
const char *const kListingFailed = "Failed loading uuids on device '%1' - '%2'. Skipped upload campaign.";
const char *const kDatesFailed =
    "Failed loading files creating dates from server for device '%1' with an error '%2'. Skipped upload campaign.";
const char *const kDeleteFailed = "Failed delete content on device '%1'. Skipped upload campaign.";

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

ContentManager::ContentManager(QObject *parent)
    : QObject(parent)
{
}

void ContentManager::manageContent(const QString &macAddress, const QStringList &filesUuids,
                                   const QStringList &slideShowUuids, const QStringList &slideShowFilesUuids,
                                   const QString &fwVersion)
{
    if (m_plans.contains(macAddress)) {
        qWarning().noquote() << QString::fromLatin1(kPreparationRunning).arg(macAddress);
        return;
    }
    ContentPlan plan;
    plan.filesUuids = filesUuids;
    plan.slideShowUuids = slideShowUuids;
    plan.slideShowFilesUuids = slideShowFilesUuids;
    m_plans.insert(macAddress, plan);
    qInfo().noquote() << "\n Uuids To upload to device:" << macAddress << "\n Files Uuids To Device"
                      << filesUuids.size() << filesUuids << "\n SlideShow Uuids To Device" << slideShowUuids
                      << "\n SlideShow Files Uuids To Device" << slideShowFilesUuids.size()
                      << slideShowFilesUuids;
    if (QVersionNumber::fromString(fwVersion) < kListingFirmware)
        startUpload(macAddress);
    else
        emit loadDeviceUuids(macAddress);
}

void ContentManager::loadedDeviceUuids(QString macAddress, bool isSuccess, QStringList imagesUuids,
                                       QStringList ssUuids, int freeSlotsNumber, QString errorString)
{
    // Listings asked for by others (after an upload, say) reach this slot too:
    // only a device in preparation is concerned, on success as on failure.
    if (!m_plans.contains(macAddress))
        return;
    if (!isSuccess) {
        failPreparing(macAddress, QString::fromLatin1(kListingFailed).arg(macAddress, errorString));
        return;
    }
    ContentPlan &plan = m_plans[macAddress];
    const QStringList &files = plan.filesUuids;
    const QStringList &slideShowFiles = plan.slideShowFilesUuids;
    const QStringList &slideShows = plan.slideShowUuids;

    QStringList onDevice;
    for (const QString &uuid : files + slideShowFiles + slideShows)
        if (imagesUuids.contains(uuid) || ssUuids.contains(uuid))
            onDevice.append(uuid);
    const QStringList missingFiles = without(files, imagesUuids);
    const QStringList missingSlideShowFiles = without(slideShowFiles, imagesUuids);
    const QStringList missingSlideShows = without(slideShows, ssUuids);

    for (const QString &uuid : withoutDuplicates(missingFiles + missingSlideShowFiles + imagesUuids)) {
        if (missingFiles.contains(uuid))
            plan.frameCounts[uuid] = missingFiles.count(uuid);
        if (missingSlideShowFiles.contains(uuid))
            plan.frameCounts[uuid] = missingSlideShowFiles.count(uuid);
        if (imagesUuids.contains(uuid))
            plan.frameCounts[uuid] = imagesUuids.count(uuid);
    }
    plan.filesUuids = missingFiles;
    plan.slideShowUuids = missingSlideShows;
    plan.slideShowFilesUuids = missingSlideShowFiles;
    plan.deviceImageUuids = imagesUuids;
    plan.onDeviceUuids = onDevice;
    plan.slotsToFree = qMax(0, missingFiles.size() + missingSlideShowFiles.size() - freeSlotsNumber);

    const QStringList stale = without(withoutDuplicates(imagesUuids + ssUuids), onDevice);
    qInfo().noquote() << "\n Uuids already on device:" << macAddress << "\n - Files Uuids on Device"
                      << imagesUuids.size() << imagesUuids << "\n - SlideShow Uuids on Device" << ssUuids.size()
                      << ssUuids << "\n - SlideShow Files Uuids to Device" << missingSlideShowFiles.size()
                      << missingSlideShowFiles << "\n - slots need to free on Device" << plan.slotsToFree
                      << "\n - slots free on Device" << freeSlotsNumber;
    emit loadUuidsDetails(macAddress, stale);
}

void ContentManager::loadedUuidsDetails(bool success, QString macAddress, QMap<QDateTime, QString> uuidsOnDevice,
                                        QMap<QString, QStringList> ssContentUuids, QString errorString)
{
    // Dates for a device that is not in preparation would plan nothing: an
    // empty upload would follow and be reported as a success.
    if (!m_plans.contains(macAddress))
        return;
    if (!success) {
        failPreparing(macAddress, QString::fromLatin1(kDatesFailed).arg(macAddress, errorString));
        return;
    }
    const ContentPlan &plan = m_plans[macAddress];
    QStringList dated;
    for (const QString &uuid : uuidsOnDevice)
        if (!ssContentUuids.contains(uuid))
            dated.append(uuid);
    if (plan.slotsToFree < 1) {
        startUpload(macAddress);
        return;
    }
    int need = plan.slotsToFree;
    Deletion deletion;
    selectForDeletion(dated, plan, &need, &deletion);
    if (need > 0) {
        // The device's pictures the cloud gave no date for; a GIF is listed once
        // per frame, so once is enough to count its slots.
        const QStringList undated = without(withoutDuplicates(plan.deviceImageUuids), dated);
        selectForDeletion(undated, plan, &need, &deletion);
    }
    const QStringList slideShows = slideShowsToDelete(deletion.images + deletion.gifs, plan, ssContentUuids);
    qInfo().noquote() << "\n DELETING Uuids from device:" << macAddress << "\n Gifs Uuids To Delete" << deletion.gifs
                      << "\n Images Uuids To Delete" << deletion.images << "\n Loaded web Files Uuids details"
                      << uuidsOnDevice.size() << uuidsOnDevice.values() << "\n SlideShow Uuids To Delete"
                      << slideShows;
    emit deleteFromDevice(macAddress, deletion.images, deletion.gifs, slideShows);
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

void ContentManager::deletedUuids(QString macAddress, bool success)
{
    if (!m_plans.contains(macAddress))
        return;
    if (success)
        startUpload(macAddress);
    else
        failPreparing(macAddress, QString::fromLatin1(kDeleteFailed).arg(macAddress));
}

void ContentManager::startUpload(const QString &macAddress)
{
    const ContentPlan plan = m_plans.take(macAddress);
    const QStringList all = plan.filesUuids + plan.slideShowUuids + plan.slideShowFilesUuids;
    qInfo().noquote() << "\n UPLOADING Uuids to device:" << macAddress << "\n All Uuids To Device" << all
                      << "\n Numbers of Files, Ss, SsFiles" << plan.filesUuids.size()
                      << plan.slideShowUuids.size() << plan.slideShowFilesUuids.size();
    emit deviceReadyToUpload(macAddress, all);
}

void ContentManager::failPreparing(const QString &macAddress, const QString &message)
{
    qCWarning(lcContentManager).noquote() << message;
    m_plans.remove(macAddress);
    emit failedPreparingUpload(macAddress);
}
