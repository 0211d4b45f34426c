#pragma once

#include "ContentsInfo.h"
#include "ImageCache.h"
#include "ImageData.h"
#include "SlideShowInfo.h"
#include "UploadItem.h"
#include "UrlData.h"
#include "requests/SendUploadStatusRequest.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

class DevicesManager;
class ImageConverter;
class NetworkManager;
class PublishingProgress;
struct PublishingRun;

// The second half of a pass: from the cloud's campaign event to the device
// showing it and the cloud told. Each picture file is downloaded and converted
// once for all devices; nothing on the device is touched before every picture
// the campaign wants is ready; the slots are counted, the content manager
// plans deletions, the upload list goes to the devices manager, and the upload
// status goes to the cloud. Every answer finds its pass by the ticket it carries.
class CampaignPublisher : public QObject
{
    Q_OBJECT

public:
    // The most device slots a campaign may need.
    static constexpr int MaxSlots = 112;
    // Files fetched at once; the others wait their turn, so that a request's
    // inactivity time-out never counts time spent queued behind its siblings.
    static constexpr int MaxDownloads = 4;

    CampaignPublisher(PublishingProgress *progress, QObject *parent = nullptr);
    ~CampaignPublisher() override;

    void setManagers(DevicesManager *devices, NetworkManager *network);
    // Converted pictures that no campaign in progress needs are evicted beyond it.
    void setPictureBudget(qint64 bytes);

    // The pass may receive a campaign: asks the cloud for its current event.
    void requestCampaign(PublishingRun *run);

public slots:
    void grabDeviceCampaignContent(bool success, ContentsInfo info, QString errorString, quint64 ticket);
    void processCampaignInfo(QString deviceMAC, QHash<QString, UrlData> imagesData, QVector<SlideShowInfo> slideShows,
                             QString errorString, quint64 ticket);
    void processDownloadedContents(bool success, ImageData downloadedItemData, QString errorString, bool refused);
    void saveProcessedImage(ImageData imageData);
    void onConversionFailed(QString link, QString reason);
    void loadedDeviceUuids(QString macAddress, bool isSuccess, QStringList imagesUuids, QStringList ssUuids,
                           int freeSlotsNumber, QString errorString, quint64 ticket);
    void loadedUuidsDetails(bool success, QString macAddress, QMap<QDateTime, QString> uuidsOnDevice,
                            QMap<QString, QStringList> ssContentUuids, QString errorString, quint64 ticket);
    void deletedUuids(QString macAddress, bool success, quint64 ticket);
    void onFilesUploaded(QString deviceMAC, bool isSuccess, QString errorString, QStringList ssUuids,
                         QStringList imagesUuids, quint64 ticket);
    void onStatusSent(bool success, QString macAddress, SendUploadStatusRequest::Status status, quint64 ticket);

signals:
    // What the device holds after an upload, for its record in the cloud.
    void contentListed(QString mac, QStringList imageUuids, QStringList slideShowUuids);

private:
    bool attached() const;
    // Why the campaign cannot be shown as the cloud sent it (an item without a
    // usable picture, a file refused before); empty when it can.
    QString whyIncomplete(const ContentsInfo &campaign, const QHash<QString, UrlData> &imagesData) const;
    void startDownloads(PublishingRun *run, const QHash<QString, UrlData> &imagesData);
    void download(const UrlData &file);
    // A file the waiting passes cannot have: they fail. One refused for good
    // (remember: too large, not a picture) is reported to the cloud and not
    // fetched again while the campaign stays the same; any other is fetched
    // again on the next pass.
    void refuseFile(const QString &link, const QString &reason, bool remember);
    void prepareUpload(PublishingRun *run);
    void startUpload(PublishingRun *run, const QStringList &uuidsToUpload);
    // Frame uuids of a content uuid: one for a still, one per frame of an animation.
    QStringList filesForContent(const QString &uuid);
    QVector<UploadItem> uploadItems(const ContentsInfo &info, const QStringList &uuidsToUpload);
    void release(const PublishingRun &run);
    // The campaign will not reach the device: the cloud is told, then the pass ends.
    void failCampaign(PublishingRun *run, const QString &reason);
    void reportStatus(PublishingRun *run, bool success, const QString &reason);

    PublishingProgress *m_progress;
    ImageConverter *m_converter;
    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;

    QHash<QString, QString> m_uuidLinks; // content uuid -> file link
    ImageCache m_cache;                  // file link -> converted picture, or a placeholder
    QSet<QString> m_downloading;         // links being downloaded
    QList<UrlData> m_waitingDownloads;   // files waiting for their turn
    // Files refused for good (too large, not a picture): link -> why, with the
    // campaign events that met the refusal; another event tries the file again.
    struct Refusal {
        QString reason;
        QSet<qint64> events;
    };
    QHash<QString, Refusal> m_refused;
};
