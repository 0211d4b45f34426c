#include "CampaignPublisher.h"

#include "ActivityText.h"
#include "ContentManager.h"
#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "ImageConverter.h"
#include "LogCategories.h"
#include "NetworkManager.h"
#include "PublishingProgress.h"

#include <QDebug>

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
const QString kConversionFailedText = QStringLiteral("Picture '%1' for device '%2' could not be converted: %3");
const QString kTooManyText = QStringLiteral(
    "Campaign has too many content to fit into the device's memory '%1'. Skipped upload campaign to device.");
const QString kTooManyLog = QStringLiteral("Camapaign %1 contain %2 frames for device %3");
const QString kAlreadyThereText =
    QStringLiteral("Campaign content already on device '%1'.Skipped upload campaign to device.");
const QString kUploadFailedLog = QStringLiteral("Uploading campaign content on device with MAC=");

QString fileNameOf(const QString &link)
{
    return link.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
}

QStringList missingFrom(const QStringList &wanted, const QStringList &listed)
{
    QStringList missing;
    for (const QString &uuid : wanted)
        if (!listed.contains(uuid) && !missing.contains(uuid))
            missing << uuid;
    return missing;
}

} // namespace

CampaignPublisher::CampaignPublisher(PublishingProgress *progress, ContentManager *contentManager, QObject *parent)
    : QObject(parent)
    , m_progress(progress)
    , m_contentManager(contentManager)
    , m_converter(new ImageConverter(this))
{
    connect(m_converter, &ImageConverter::converted, this, &CampaignPublisher::saveProcessedImage);
    connect(m_converter, &ImageConverter::conversionFailed, this, &CampaignPublisher::onConversionFailed);
}

CampaignPublisher::~CampaignPublisher() = default;

void CampaignPublisher::setManagers(DevicesManager *devices, NetworkManager *network)
{
    m_devices = devices;
    m_network = network;
    if (attached())
        return;
    for (auto it = m_retained.cbegin(); it != m_retained.cend(); ++it)
        for (const QString &link : it.value())
            m_cache.release(link);
    m_retained.clear();
    m_campaigns.clear();
    m_planning.clear();
    m_uploads.clear();
    m_closing.clear();
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

void CampaignPublisher::requestCampaign(const QString &mac)
{
    if (attached())
        m_network->loadDeviceCampaign(mac);
}

// --- the event and its files --------------------------------------------------

void CampaignPublisher::grabDeviceCampaignContent(bool success, ContentsInfo info, QString errorString)
{
    if (!attached())
        return;
    const QString mac = info.macAddress;
    if (!success) {
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kCampaignFailedText, {mac})));
        qWarning().noquote() << kCampaignFailedLog.arg(mac, errorString);
        m_progress->finish(mac, PublishingProgress::Failed, tr("the campaign could not be loaded: %1").arg(errorString));
        return;
    }
    if (!info.hasEvent() || info.isUploaded) {
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kNothingNewText, {mac})));
        m_progress->finish(mac, PublishingProgress::UpToDate);
        return;
    }
    if (info.contentIds.isEmpty()) {
        qCWarning(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kCampaignEmptyText, {mac})));
        m_progress->finish(mac, PublishingProgress::UpToDate);
        return;
    }
    if (m_uploads.contains(mac) || m_closing.contains(mac)) {
        qDebug() << "Campaign event" << info.eventId << "for" << mac << "waits for the running upload";
        return;
    }
    releaseAll(mac); // a newer event replaces an older campaign of the device
    m_campaigns.insert(mac, info);
    m_progress->reach(mac, PublishingProgress::CampaignReceived, QString::number(info.eventId));
    m_network->loadCampaignContent(mac, info.eventId);
}

void CampaignPublisher::processCampaignInfo(QString deviceMAC, QHash<QString, UrlData> imagesData,
                                            QVector<SlideShowInfo> slideShows)
{
    if (!attached() || !m_campaigns.contains(deviceMAC))
        return;
    const QString &mac = deviceMAC;
    if (imagesData.isEmpty()) {
        qCInfo(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kContentFailedText, {mac})));
        qWarning().noquote() << kContentFailedLog + QString::number(m_campaigns.value(mac).eventId)
                + QStringLiteral(" for MAC=") + mac;
        endCampaign(mac, PublishingProgress::Failed, tr("the campaign's content could not be loaded"));
        return;
    }
    ContentsInfo &campaign = m_campaigns[mac];
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
    startDownloads(mac, imagesData);
}

void CampaignPublisher::startDownloads(const QString &mac, const QHash<QString, UrlData> &imagesData)
{
    QSet<QString> pending;
    for (auto it = imagesData.cbegin(); it != imagesData.cend(); ++it) {
        const UrlData &file = it.value();
        m_uuidLinks.insert(it.key(), file.link);
        // Held until the campaign ends, so that nothing it waits for is evicted.
        retain(mac, file.link);
        if (m_cache.isConverted(file.link))
            continue;
        pending.insert(file.link);
        if (m_cache.isPending(file.link))
            continue; // another device's download of the file is in flight
        m_cache.insertPlaceholder(file.type, file.link);
        download(file);
    }
    m_campaigns[mac].pendingLinks = pending;
    if (pending.isEmpty())
        prepareUpload(mac);
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

void CampaignPublisher::processDownloadedContents(bool success, ImageData downloadedItemData)
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
    m_cache.remove(link);
    for (auto it = m_uuidLinks.begin(); it != m_uuidLinks.end();) {
        if (it.value() == link) {
            qWarning().noquote() << kImageFailedLog + it.key() + kFailedSuffix;
            it = m_uuidLinks.erase(it);
        } else {
            ++it;
        }
    }
    const QStringList macs = m_campaigns.keys();
    for (const QString &mac : macs) {
        if (!m_campaigns.value(mac).pendingLinks.contains(link))
            continue;
        qWarning().noquote() << kCampaignFilesFailedLog + mac + kFailedSuffix;
        endCampaign(mac, PublishingProgress::Failed, tr("the picture %1 could not be downloaded").arg(fileNameOf(link)));
    }
}

void CampaignPublisher::saveProcessedImage(ImageData imageData)
{
    if (!attached() || !m_cache.isPending(imageData.link))
        return;
    m_cache.insert(imageData);
    const QStringList macs = m_campaigns.keys();
    for (const QString &mac : macs) {
        auto campaign = m_campaigns.find(mac);
        if (campaign != m_campaigns.end() && campaign->pendingLinks.remove(imageData.link)
            && campaign->pendingLinks.isEmpty())
            prepareUpload(mac);
    }
}

void CampaignPublisher::onConversionFailed(QString link, QString reason)
{
    if (!attached() || !m_cache.isPending(link))
        return;
    m_cache.remove(link);
    for (auto it = m_uuidLinks.begin(); it != m_uuidLinks.end();)
        it = it.value() == link ? m_uuidLinks.erase(it) : std::next(it);
    const QStringList macs = m_campaigns.keys();
    for (const QString &mac : macs) {
        if (!m_campaigns.value(mac).pendingLinks.contains(link))
            continue;
        qCWarning(lcDeviceManager, "%s",
                  qUtf8Printable(ActivityText::fill(kConversionFailedText, {fileNameOf(link), mac, reason})));
        failCampaign(mac, tr("the picture %1 could not be converted: %2").arg(fileNameOf(link), reason));
    }
}

// --- planning ------------------------------------------------------------------

QStringList CampaignPublisher::filesForContent(const QString &uuid)
{
    const ImageData picture = m_cache.value(m_uuidLinks.value(uuid));
    if (!picture.isGif())
        return {uuid};
    QStringList frames;
    for (int i = 0; i < picture.frames.size(); ++i)
        frames << uuid;
    return frames;
}

void CampaignPublisher::prepareUpload(const QString &mac)
{
    const ContentsInfo info = m_campaigns.value(mac);
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
        qCWarning(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kTooManyText, {mac})));
        qInfo().noquote() << kTooManyLog.arg(info.eventId).arg(slotCount).arg(mac);
        endCampaign(mac, PublishingProgress::Failed,
                    tr("the campaign needs %1 slots; a device has %2").arg(slotCount).arg(MaxSlots));
        return;
    }
    // A plan still running for an older event ends first; its answer brings this one back.
    if (m_contentManager->isPreparing(mac))
        return;
    m_planning.insert(mac, info.eventId);
    m_progress->noteDeviceJob(mac);
    m_contentManager->manageContent(mac, files, slideIds, slideFiles,
                                    m_devices->deviceValue(mac, DeviceInfo::FwVersion).toString());
}

void CampaignPublisher::onPreparingFailed(QString macAddress)
{
    const bool planned = m_planning.contains(macAddress);
    const qint64 plannedEvent = m_planning.take(macAddress);
    const auto campaign = m_campaigns.constFind(macAddress);
    if (!attached() || !planned || campaign == m_campaigns.constEnd())
        return;
    if (campaign->eventId != plannedEvent) {
        // The plan was an older event's; the newer one gets its own.
        if (campaign->pendingLinks.isEmpty())
            prepareUpload(macAddress);
        return;
    }
    endCampaign(macAddress, PublishingProgress::Failed, tr("the upload could not be prepared (the log says why)"));
}

// --- upload ----------------------------------------------------------------------

QVector<UploadItem> CampaignPublisher::uploadItems(const ContentsInfo &info, const QStringList &uuidsToUpload,
                                                   QStringList *missing)
{
    QVector<UploadItem> items;
    QSet<QString> sent;
    const auto add = [&](const QString &uuid) {
        if (sent.contains(uuid) || !uuidsToUpload.contains(uuid))
            return;
        const ImageData picture = m_cache.value(m_uuidLinks.value(uuid));
        if (!picture.isValid()) {
            qDebug() << "file not downloaded" << uuid;
            if (!missing->contains(uuid))
                *missing << uuid;
            return;
        }
        items.append(UploadItem{uuid, picture.frames});
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

void CampaignPublisher::uploadCampaign(QString macAddress, QStringList uuidsToUpload)
{
    const QString &mac = macAddress;
    const bool planned = m_planning.contains(mac);
    const qint64 plannedEvent = m_planning.take(mac);
    const auto campaign = m_campaigns.constFind(mac);
    if (!attached() || campaign == m_campaigns.constEnd())
        return;
    const ContentsInfo info = *campaign;
    if (!planned || info.eventId != plannedEvent) {
        // A newer event arrived while an older one was planned: plan the newer one.
        if (info.pendingLinks.isEmpty())
            prepareUpload(mac);
        return;
    }

    QVector<SlideShowInfo> slides;
    for (const SlideShowInfo &slideShow : info.slideShows)
        if (uuidsToUpload.contains(slideShow.uuid))
            slides.append(slideShow);
    QStringList missing;
    const QVector<UploadItem> items = uploadItems(info, uuidsToUpload, &missing);
    if (!missing.isEmpty()) {
        // Never an upload that would be reported as a success without these.
        failCampaign(mac, tr("no picture for %1").arg(missing.join(QStringLiteral(", "))));
        return;
    }
    if (items.isEmpty() && slides.isEmpty() && info.defaultContentId.isEmpty()) {
        qCWarning(lcDeviceManager, "%s", qUtf8Printable(ActivityText::fill(kAlreadyThereText, {mac})));
        endCampaign(mac, PublishingProgress::UpToDate, QString());
        return;
    }
    Upload upload;
    for (const UploadItem &item : items)
        upload.pictures << item.uuid;
    for (const SlideShowInfo &slideShow : qAsConst(slides))
        upload.slideShows << slideShow.uuid;
    m_uploads.insert(mac, upload);
    m_devices->uploadFiles(mac, items, slides, info.defaultContentId, info.chargingUuid);
}

void CampaignPublisher::onFilesUploaded(QString deviceMAC, bool isSuccess, QString errorString, QStringList ssUuids,
                                        QStringList imagesUuids)
{
    const QString &mac = deviceMAC;
    if (!attached() || !m_uploads.contains(mac) || !m_campaigns.contains(mac))
        return;
    const Upload upload = m_uploads.take(mac);
    const ContentsInfo info = m_campaigns.take(mac);
    releaseAll(mac);

    // The lists are the device's listing before the upload and every item it
    // completed: "success" needs everything that was sent among them.
    QString reason = errorString;
    if (isSuccess) {
        const QStringList unlisted = missingFrom(upload.pictures, imagesUuids) + missingFrom(upload.slideShows, ssUuids);
        if (!unlisted.isEmpty()) {
            isSuccess = false;
            reason = tr("the device does not list %1 after the upload").arg(unlisted.join(QStringLiteral(", ")));
        }
    }
    m_network->sendUploadStatus(mac, info.eventId,
                                isSuccess ? SendUploadStatusRequest::Success : SendUploadStatusRequest::Failed, reason);
    // After a failure before the device was listed the lists are empty, which
    // says nothing about the device: the cloud keeps what it knew.
    const bool listed = isSuccess || !imagesUuids.isEmpty() || !ssUuids.isEmpty();
    if (listed)
        emit contentListed(mac, imagesUuids, ssUuids);
    if (!isSuccess)
        qWarning().noquote() << kUploadFailedLog + mac + kFailedSuffix;

    Closing closing;
    closing.outcome = isSuccess ? PublishingProgress::Published : PublishingProgress::Failed;
    closing.detail = isSuccess ? QString::number(upload.pictures.size() + upload.slideShows.size())
                               : tr("the upload failed: %1").arg(reason);
    closing.waitingForStatus = true;
    closing.waitingForRecord = listed;
    m_closing.insert(mac, closing);
}

void CampaignPublisher::onStatusSent(bool success, QString macAddress, SendUploadStatusRequest::Status status)
{
    Q_UNUSED(status)
    const auto closing = m_closing.find(macAddress);
    if (closing == m_closing.end())
        return;
    closing->waitingForStatus = false;
    if (!success) {
        closing->outcome = PublishingProgress::Failed;
        closing->detail = tr("the cloud did not take the upload status");
    }
    closeWhenAnswered(macAddress);
}

void CampaignPublisher::onCloudRecordSettled(QString macAddress)
{
    const auto closing = m_closing.find(macAddress);
    if (closing == m_closing.end())
        return;
    closing->waitingForRecord = false;
    closeWhenAnswered(macAddress);
}

// --- the ways out --------------------------------------------------------------

void CampaignPublisher::retain(const QString &mac, const QString &link)
{
    QSet<QString> &links = m_retained[mac];
    if (links.contains(link))
        return;
    links.insert(link);
    m_cache.retain(link);
}

void CampaignPublisher::releaseAll(const QString &mac)
{
    const QSet<QString> links = m_retained.take(mac);
    for (const QString &link : links)
        m_cache.release(link);
}

void CampaignPublisher::dropCampaign(const QString &mac)
{
    m_campaigns.remove(mac);
    m_planning.remove(mac);
    m_uploads.remove(mac);
    releaseAll(mac);
}

void CampaignPublisher::endCampaign(const QString &mac, int outcome, const QString &detail)
{
    dropCampaign(mac);
    m_progress->finish(mac, static_cast<PublishingProgress::Outcome>(outcome), detail);
}

void CampaignPublisher::failCampaign(const QString &mac, const QString &reason)
{
    const qint64 eventId = m_campaigns.value(mac).eventId;
    dropCampaign(mac);
    m_network->sendUploadStatus(mac, eventId, SendUploadStatusRequest::Failed, reason);
    Closing closing;
    closing.outcome = PublishingProgress::Failed;
    closing.detail = reason;
    closing.waitingForStatus = true;
    m_closing.insert(mac, closing);
}

void CampaignPublisher::closeWhenAnswered(const QString &mac)
{
    const auto closing = m_closing.constFind(mac);
    if (closing == m_closing.constEnd() || closing->waitingForStatus || closing->waitingForRecord)
        return;
    const Closing done = *closing;
    m_closing.erase(closing);
    m_progress->finish(mac, static_cast<PublishingProgress::Outcome>(done.outcome), done.detail);
}
