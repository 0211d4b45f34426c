#include "CampaignPublisher.h"

#include "ActivityLog.h"
#include "ContentManager.h"
#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "ImageConverter.h"
#include "LogCategories.h"
#include "NetworkManager.h"
#include "PublishingProgress.h"

#include <QDebug>
#include <QUrl>

#include <algorithm>

namespace {

const QString kCampaignFailedText = QStringLiteral("Failed to download campaign content to device '%1'.");
const QString kCampaignFailedLog = QStringLiteral("Campaign content failed to download  to device '%1'. %2");
const QString kNothingNewText = QStringLiteral("No new files to upload to device '%1'.");
const QString kCampaignEmptyText = QStringLiteral("Campaign is empty for device '%1'.");
const QString kContentFailedText = QStringLiteral("Failed download campaign content for device '%1'.");
const QString kContentFailedLog = QStringLiteral("Error on downloading images of campaign event with ID=");
const QString kImageFailedLog = QStringLiteral("Downloading image with UUID=");
const QString kCampaignFilesFailedLog = QStringLiteral("Downloading campaign contents for device with MAC=");
const QString kFailedSuffix = QStringLiteral(" failed.");
const QString kIncompleteText =
    QStringLiteral("Campaign for device '%1' was not published: %2. The device keeps what it shows.");
const QString kTooManyText = QStringLiteral(
    "Campaign has too many content to fit into the device's memory '%1'. Skipped upload campaign to device.");
const QString kTooManyLog = QStringLiteral("Camapaign %1 contain %2 frames for device %3");
const QString kUploadFailedLog = QStringLiteral("Uploading campaign content on device with MAC=");

// The name a person gave the file, as the link's last part spells it.
QString fileNameOf(const QString &link)
{
    return QUrl::fromPercentEncoding(link.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty).toUtf8());
}

QStringList missingFrom(const QStringList &wanted, const QStringList &listed)
{
    QStringList missing;
    for (const QString &uuid : wanted)
        if (!listed.contains(uuid) && !missing.contains(uuid))
            missing << uuid;
    return missing;
}

// Every picture the campaign shows: its single items, then each slideshow's
// pictures and charging picture, each once.
QStringList wantedPictures(const ContentsInfo &campaign)
{
    QStringList wanted = campaign.itemUuids;
    for (const SlideShowInfo &slideShow : campaign.slideShows) {
        QStringList pictures = slideShow.uuids;
        if (!slideShow.chargingUuid.isEmpty())
            pictures << slideShow.chargingUuid;
        for (const QString &uuid : qAsConst(pictures))
            if (!wanted.contains(uuid))
                wanted << uuid;
    }
    return wanted;
}

} // namespace

CampaignPublisher::CampaignPublisher(PublishingProgress *progress, QObject *parent)
    : QObject(parent)
    , m_progress(progress)
    , m_converter(new ImageConverter(this))
{
    connect(m_converter, &ImageConverter::converted, this, &CampaignPublisher::saveProcessedImage);
    connect(m_converter, &ImageConverter::conversionFailed, this, &CampaignPublisher::onConversionFailed);
    connect(m_progress, &PublishingProgress::runEnding, this, &CampaignPublisher::release);
}

CampaignPublisher::~CampaignPublisher() = default;

void CampaignPublisher::setManagers(DevicesManager *devices, NetworkManager *network)
{
    m_devices = devices;
    m_network = network;
    if (attached())
        return;
    m_downloading.clear();
    m_waitingDownloads.clear();
    m_cache.clear(); // results of conversions still running find no placeholder and are dropped
}

void CampaignPublisher::setPictureBudget(qint64 bytes)
{
    m_cache.setBudget(bytes);
}

bool CampaignPublisher::attached() const
{
    return m_devices && m_network;
}

void CampaignPublisher::requestCampaign(PublishingRun *run)
{
    m_progress->enter(run, PublishingRun::LoadingCampaign);
    m_network->loadDeviceCampaign(run->mac, run->id);
}

// --- the event and its files --------------------------------------------------

void CampaignPublisher::grabDeviceCampaignContent(bool success, ContentsInfo info, QString errorString, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::LoadingCampaign, "a campaign event")
                                    : nullptr;
    if (!run)
        return;
    const QString mac = run->mac;
    if (!success) {
        ActivityLog::info(lcDeviceManager, ActivityLine(kCampaignFailedText, {mac}));
        qWarning().noquote() << kCampaignFailedLog.arg(mac, errorString);
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("the campaign could not be loaded: %1").arg(errorString));
    }
    if (!info.hasEvent() || info.isUploaded) {
        ActivityLog::info(lcDeviceManager, ActivityLine(kNothingNewText, {mac}));
        return m_progress->finish(run, PublishingProgress::UpToDate);
    }
    if (info.contentIds.isEmpty()) {
        ActivityLog::warning(lcDeviceManager, ActivityLine(kCampaignEmptyText, {mac}));
        return m_progress->finish(run, PublishingProgress::UpToDate);
    }
    run->campaign = info;
    m_progress->reach(run, PublishingProgress::CampaignReceived, QString::number(info.eventId));
    m_progress->enter(run, PublishingRun::LoadingContent);
    m_network->loadCampaignContent(mac, info.eventId, run->id);
}

void CampaignPublisher::processCampaignInfo(QString deviceMAC, QHash<QString, UrlData> imagesData,
                                            QVector<SlideShowInfo> slideShows, QString errorString, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::LoadingContent, "a campaign's content")
                                    : nullptr;
    if (!run)
        return;
    const QString &mac = deviceMAC;
    ContentsInfo &campaign = run->campaign;
    if (imagesData.isEmpty()) {
        ActivityLog::info(lcDeviceManager, ActivityLine(kContentFailedText, {mac}));
        qWarning().noquote() << kContentFailedLog + QString::number(campaign.eventId) + QStringLiteral(" for MAC=") + mac;
        const QString reason = errorString.isEmpty() ? tr("the cloud sent no pictures") : errorString;
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("the campaign's content could not be loaded: %1").arg(reason));
    }
    const QStringList order = campaign.contentIds;
    std::stable_sort(slideShows.begin(), slideShows.end(), [&order](const SlideShowInfo &a, const SlideShowInfo &b) {
        return order.indexOf(a.uuid) < order.indexOf(b.uuid);
    });
    campaign.slideShows = slideShows;
    campaign.itemUuids = campaign.itemsWithoutSlideShows();
    if (!campaign.itemUuids.contains(campaign.defaultContentId))
        for (const SlideShowInfo &slideShow : qAsConst(campaign.slideShows))
            if (slideShow.uuid == campaign.defaultContentId)
                campaign.chargingUuid = slideShow.chargingUuid;
    // Before anything is fetched or deleted: a campaign that cannot be shown
    // whole leaves the device as it is.
    const QString incomplete = whyIncomplete(campaign, imagesData);
    if (!incomplete.isEmpty())
        return failCampaign(run, incomplete);
    startDownloads(run, imagesData);
}

QString CampaignPublisher::whyIncomplete(const ContentsInfo &campaign, const QHash<QString, UrlData> &imagesData) const
{
    for (const QString &uuid : wantedPictures(campaign)) {
        const auto file = imagesData.constFind(uuid);
        if (file == imagesData.cend() || file->link.isEmpty())
            return tr("item %1 has no file in the cloud").arg(uuid);
        if (!file->isImage() && !file->isGif())
            return tr("item %1 is %2, which the device cannot show")
                .arg(uuid, file->format.isEmpty() ? tr("of an unknown type") : file->format);
        const auto refusal = m_refused.constFind(file->link);
        if (refusal != m_refused.cend() && refusal->events.contains(campaign.eventId))
            return tr("item %1 (%2): %3").arg(uuid, fileNameOf(file->link), refusal->reason);
    }
    return QString();
}

void CampaignPublisher::startDownloads(PublishingRun *run, const QHash<QString, UrlData> &imagesData)
{
    m_progress->enter(run, PublishingRun::FetchingPictures);
    for (const QString &uuid : wantedPictures(run->campaign)) {
        const UrlData &file = *imagesData.constFind(uuid);
        m_uuidLinks.insert(uuid, file.link);
        // Held until the pass ends, so that nothing it waits for is evicted.
        if (!run->retained.contains(file.link)) {
            run->retained.insert(file.link);
            m_cache.retain(file.link);
        }
        if (m_cache.isConverted(file.link))
            continue;
        run->pendingLinks.insert(file.link);
        if (m_cache.isPending(file.link))
            continue; // another device's download of the file is in flight
        m_cache.insertPlaceholder(file.type, file.link);
        download(file);
    }
    if (run->pendingLinks.isEmpty())
        prepareUpload(run);
}

void CampaignPublisher::download(const UrlData &file)
{
    if (m_downloading.size() < MaxDownloads) {
        m_downloading.insert(file.link);
        m_network->downloadContent(file);
    } else {
        m_waitingDownloads.append(file);
    }
}

void CampaignPublisher::processDownloadedContents(bool success, ImageData downloadedItemData, QString errorString,
                                                  bool refused)
{
    const QString link = downloadedItemData.link;
    if (!attached() || !m_downloading.remove(link))
        return;
    if (!m_waitingDownloads.isEmpty())
        download(m_waitingDownloads.takeFirst());
    if (!m_cache.isPending(link))
        return;
    if (success) {
        m_converter->enqueue(downloadedItemData);
        return;
    }
    for (auto it = m_uuidLinks.cbegin(); it != m_uuidLinks.cend(); ++it)
        if (it.value() == link)
            qWarning().noquote() << kImageFailedLog + it.key() + kFailedSuffix;
    // A failed download is tried again on the next pass; a refused one only for another campaign.
    const QString reason = errorString.isEmpty() ? tr("no answer") : errorString;
    refuseFile(link, tr("the picture %1 could not be downloaded: %2").arg(fileNameOf(link), reason), refused);
}

void CampaignPublisher::saveProcessedImage(ImageData imageData)
{
    if (!attached() || !m_cache.isPending(imageData.link))
        return;
    m_cache.insert(imageData);
    for (PublishingRun *run : m_progress->runsIn(PublishingRun::FetchingPictures))
        if (run->pendingLinks.remove(imageData.link) && run->pendingLinks.isEmpty())
            prepareUpload(run);
}

void CampaignPublisher::onConversionFailed(QString link, QString reason)
{
    if (!attached() || !m_cache.isPending(link))
        return;
    refuseFile(link, tr("the picture %1 could not be converted: %2").arg(fileNameOf(link), reason), true);
}

void CampaignPublisher::refuseFile(const QString &link, const QString &reason, bool remember)
{
    m_cache.remove(link);
    for (auto it = m_uuidLinks.begin(); it != m_uuidLinks.end();)
        it = it.value() == link ? m_uuidLinks.erase(it) : std::next(it);
    for (PublishingRun *run : m_progress->runsIn(PublishingRun::FetchingPictures)) {
        if (!run->pendingLinks.contains(link))
            continue;
        qWarning().noquote() << kCampaignFilesFailedLog + run->mac + kFailedSuffix;
        if (!remember) {
            // Nothing is said to the cloud: the next pass tries again.
            m_progress->finish(run, PublishingProgress::Failed, reason);
            continue;
        }
        Refusal &refusal = m_refused[link];
        refusal.reason = reason;
        refusal.events.insert(run->campaign.eventId);
        failCampaign(run, reason);
    }
}

// --- planning ------------------------------------------------------------------

QStringList CampaignPublisher::filesForContent(const QString &uuid)
{
    const ImageData picture = m_cache.value(m_uuidLinks.value(uuid));
    if (!picture.isGif())
        return {uuid};
    return QStringList(QVector<QString>(picture.frames.size(), uuid).toList());
}

void CampaignPublisher::prepareUpload(PublishingRun *run)
{
    const ContentsInfo &info = run->campaign;
    QStringList slideIds = info.contentIds;
    for (const QString &item : info.itemUuids)
        slideIds.removeAll(item);

    QStringList files;
    for (const QString &id : info.itemUuids)
        if (!files.contains(id))
            files += filesForContent(id);
    // A slideshow's charging picture is shown by the device, so it is stored there too.
    QStringList slideFiles;
    for (const SlideShowInfo &slideShow : info.slideShows) {
        QStringList pictures = slideShow.uuids;
        if (!slideShow.chargingUuid.isEmpty())
            pictures << slideShow.chargingUuid;
        for (const QString &uuid : qAsConst(pictures))
            if (!slideFiles.contains(uuid) && !files.contains(uuid))
                slideFiles += filesForContent(uuid);
    }

    const int slotCount = files.size() + slideFiles.size();
    if (slotCount > MaxSlots) {
        ActivityLog::warning(lcDeviceManager, ActivityLine(kTooManyText, {run->mac}));
        qInfo().noquote() << kTooManyLog.arg(info.eventId).arg(slotCount).arg(run->mac);
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("the campaign needs %1 slots; a device has %2").arg(slotCount).arg(MaxSlots));
    }
    run->plan = ContentManager::plan(run->mac, files, slideIds, slideFiles);
    if (!ContentManager::canListContent(m_devices->deviceValue(run->mac, DeviceInfo::FwVersion).toString()))
        return startUpload(run, ContentManager::uploadList(run->mac, run->plan));
    m_progress->enter(run, PublishingRun::Listing);
    m_devices->readDeviceUuids(run->mac, run->id);
}

void CampaignPublisher::loadedDeviceUuids(QString macAddress, bool isSuccess, QStringList imagesUuids,
                                          QStringList ssUuids, int freeSlotsNumber, QString errorString, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::Listing, "a listing") : nullptr;
    if (!run)
        return;
    if (!isSuccess) {
        ContentManager::failPreparing(ContentManager::listingFailedText(macAddress, errorString));
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("the device's content could not be listed: %1").arg(errorString));
    }
    const QStringList stale = ContentManager::applyListing(macAddress, &run->plan, imagesUuids, ssUuids, freeSlotsNumber);
    m_progress->enter(run, PublishingRun::LoadingDates);
    m_network->loadContentInfo(macAddress, stale, run->id);
}

void CampaignPublisher::loadedUuidsDetails(bool success, QString macAddress, QMap<QDateTime, QString> uuidsOnDevice,
                                           QMap<QString, QStringList> ssContentUuids, QString errorString,
                                           quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::LoadingDates, "creation dates")
                                    : nullptr;
    if (!run)
        return;
    if (!success) {
        ContentManager::failPreparing(ContentManager::datesFailedText(macAddress, errorString));
        return m_progress->finish(run, PublishingProgress::Failed,
                                  tr("the creation dates of the device's items could not be loaded: %1")
                                      .arg(errorString));
    }
    if (run->plan.slotsToFree < 1)
        return startUpload(run, ContentManager::uploadList(macAddress, run->plan));
    const ContentManager::Deletion deletion =
        ContentManager::chooseDeletions(macAddress, run->plan, uuidsOnDevice, ssContentUuids);
    m_progress->enter(run, PublishingRun::Deleting);
    m_devices->deleteFromDevice(macAddress, deletion.images, deletion.gifs, deletion.slideShows, run->id);
}

void CampaignPublisher::deletedUuids(QString macAddress, bool success, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::Deleting, "a deletion") : nullptr;
    if (!run)
        return;
    if (!success) {
        ContentManager::failPreparing(ContentManager::deleteFailedText(macAddress));
        return m_progress->finish(run, PublishingProgress::Failed, tr("stale items could not be deleted from the device"));
    }
    startUpload(run, ContentManager::uploadList(macAddress, run->plan));
}

// --- upload ----------------------------------------------------------------------

QVector<UploadItem> CampaignPublisher::uploadItems(const ContentsInfo &info, const QStringList &uuidsToUpload)
{
    QVector<UploadItem> items;
    QSet<QString> sent;
    const auto add = [&](const QString &uuid) {
        if (sent.contains(uuid) || !uuidsToUpload.contains(uuid))
            return;
        items.append(UploadItem{uuid, m_cache.value(m_uuidLinks.value(uuid)).frames});
        sent.insert(uuid);
    };
    for (const QString &id : info.contentIds) {
        if (info.itemUuids.contains(id)) {
            add(id);
            continue;
        }
        // Every slideshow's pictures, also those of a slideshow the device holds already.
        for (const SlideShowInfo &slideShow : info.slideShows) {
            if (slideShow.uuid != id)
                continue;
            for (const QString &uuid : slideShow.uuids)
                add(uuid);
            if (!slideShow.chargingUuid.isEmpty())
                add(slideShow.chargingUuid);
        }
    }
    return items;
}

void CampaignPublisher::startUpload(PublishingRun *run, const QStringList &uuidsToUpload)
{
    const ContentsInfo &info = run->campaign;
    QVector<SlideShowInfo> slides;
    for (const SlideShowInfo &slideShow : info.slideShows)
        if (uuidsToUpload.contains(slideShow.uuid))
            slides.append(slideShow);
    const QVector<UploadItem> items = uploadItems(info, uuidsToUpload);
    for (const UploadItem &item : items)
        run->sentPictures << item.uuid;
    for (const SlideShowInfo &slideShow : qAsConst(slides))
        run->sentSlideShows << slideShow.uuid;
    m_progress->enter(run, PublishingRun::Uploading);
    m_devices->uploadFiles(run->mac, items, slides, info.defaultContentId, info.chargingUuid, run->id);
}

void CampaignPublisher::onFilesUploaded(QString deviceMAC, bool isSuccess, QString errorString, QStringList ssUuids,
                                        QStringList imagesUuids, quint64 ticket)
{
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::Uploading, "an upload") : nullptr;
    if (!run)
        return;
    const QString &mac = deviceMAC;
    // The lists are the device's listing before the upload and every item it
    // completed: "success" needs everything that was sent among them.
    QString reason = errorString;
    if (isSuccess) {
        const QStringList unlisted = missingFrom(run->sentPictures, imagesUuids) + missingFrom(run->sentSlideShows, ssUuids);
        if (!unlisted.isEmpty()) {
            isSuccess = false;
            reason = tr("the device does not list %1 after the upload").arg(unlisted.join(QStringLiteral(", ")));
        }
    }
    // After a failure before the device was listed the lists are empty, which
    // says nothing about the device: the cloud keeps what it knew.
    if (isSuccess || !imagesUuids.isEmpty() || !ssUuids.isEmpty())
        emit contentListed(mac, imagesUuids, ssUuids);
    if (!isSuccess)
        qWarning().noquote() << kUploadFailedLog + mac + kFailedSuffix;
    run->outcome = isSuccess ? PublishingProgress::Published : PublishingProgress::Failed;
    run->detail = isSuccess ? QString::number(run->sentPictures.size() + run->sentSlideShows.size())
                            : tr("the upload failed: %1").arg(reason);
    reportStatus(run, isSuccess, reason);
}

void CampaignPublisher::failCampaign(PublishingRun *run, const QString &reason)
{
    ActivityLog::warning(lcDeviceManager, ActivityLine(kIncompleteText, {run->mac, reason}));
    run->outcome = PublishingProgress::Failed;
    run->detail = reason;
    reportStatus(run, false, reason);
}

void CampaignPublisher::reportStatus(PublishingRun *run, bool success, const QString &reason)
{
    m_progress->enter(run, PublishingRun::ReportingStatus);
    m_network->sendUploadStatus(run->mac, run->campaign.eventId,
                                success ? SendUploadStatusRequest::Success : SendUploadStatusRequest::Failed, reason,
                                run->id);
}

void CampaignPublisher::onStatusSent(bool success, QString macAddress, SendUploadStatusRequest::Status status,
                                     quint64 ticket)
{
    Q_UNUSED(macAddress)
    Q_UNUSED(status)
    PublishingRun *run = attached() ? m_progress->answered(ticket, PublishingRun::ReportingStatus, "an upload status")
                                    : nullptr;
    if (!run)
        return;
    if (!success && run->outcome != PublishingProgress::Failed) {
        run->outcome = PublishingProgress::Failed;
        run->detail = tr("the cloud did not take the upload status");
    }
    m_progress->finish(run, static_cast<PublishingProgress::Outcome>(run->outcome), run->detail);
}

void CampaignPublisher::release(const PublishingRun &run)
{
    for (const QString &link : run.retained)
        m_cache.release(link);
}
