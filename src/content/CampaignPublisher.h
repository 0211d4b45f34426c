#pragma once

#include "ContentsInfo.h"
#include "ImageCache.h"
#include "ImageData.h"
#include "SlideShowInfo.h"
#include "UploadItem.h"
#include "UrlData.h"
#include "requests/SendUploadStatusRequest.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

class ContentManager;
class DevicesManager;
class ImageConverter;
class NetworkManager;
class PublishingProgress;

// The second half of a device's road: from the cloud's campaign event to the
// device showing it and the cloud told. Each picture file is downloaded and
// converted once for all devices; the slots the campaign needs are counted, the
// content manager plans deletions, the upload list goes to the devices manager,
// and the upload status goes to the cloud.
class CampaignPublisher : public QObject
{
    Q_OBJECT

public:
    // The most device slots a campaign may need.
    static constexpr int MaxSlots = 112;
    // Files fetched at once; the others wait their turn, so that a request's
    // inactivity time-out never counts time spent queued behind its siblings.
    static constexpr int MaxDownloads = 4;

    CampaignPublisher(PublishingProgress *progress, ContentManager *contentManager, QObject *parent = nullptr);
    ~CampaignPublisher() override;

    void setManagers(DevicesManager *devices, NetworkManager *network);
    // Converted pictures that no campaign in progress needs are evicted beyond it.
    void setPictureBudget(qint64 bytes);

    // The device may receive a campaign: asks the cloud for its current event.
    void requestCampaign(const QString &mac);
    // Forgets the device's campaign without a word (its registration failed).
    void dropCampaign(const QString &mac);

signals:
    // What the device holds after an upload, for its record in the cloud.
    void contentListed(QString mac, QStringList imageUuids, QStringList slideShowUuids);

public slots:
    void grabDeviceCampaignContent(bool success, ContentsInfo info, QString errorString);
    void processCampaignInfo(QString deviceMAC, QHash<QString, UrlData> imagesData,
                             QVector<SlideShowInfo> slideShows);
    void processDownloadedContents(bool success, ImageData downloadedItemData);
    void saveProcessedImage(ImageData imageData);
    void onConversionFailed(QString link, QString reason);
    void uploadCampaign(QString macAddress, QStringList uuidsToUpload);
    void onPreparingFailed(QString macAddress);
    void onFilesUploaded(QString deviceMAC, bool isSuccess, QString errorString, QStringList ssUuids,
                         QStringList imagesUuids);
    void onStatusSent(bool success, QString macAddress, SendUploadStatusRequest::Status status);
    void onCloudRecordSettled(QString macAddress);

private:
    // An upload handed to the devices manager: what was sent.
    struct Upload {
        QStringList pictures;
        QStringList slideShows;
    };
    // A campaign whose end waits for the cloud's answers.
    struct Closing {
        int outcome = 0; // PublishingProgress::Outcome
        QString detail;
        bool waitingForStatus = false;
        bool waitingForRecord = false;
    };

    bool attached() const;
    void startDownloads(const QString &mac, const QHash<QString, UrlData> &imagesData);
    void download(const UrlData &file);
    void prepareUpload(const QString &mac);
    // Frame uuids of a content uuid: one for a still, one per frame of an animation.
    QStringList filesForContent(const QString &uuid);
    QVector<UploadItem> uploadItems(const ContentsInfo &info, const QStringList &uuidsToUpload,
                                    QStringList *missing);
    void retain(const QString &mac, const QString &link);
    void releaseAll(const QString &mac);
    // The ways out: at once, or after telling the cloud the campaign failed.
    void endCampaign(const QString &mac, int outcome, const QString &detail);
    void failCampaign(const QString &mac, const QString &reason);
    void closeWhenAnswered(const QString &mac);

    PublishingProgress *m_progress;
    ContentManager *m_contentManager;
    ImageConverter *m_converter;
    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;

    QHash<QString, ContentsInfo> m_campaigns; // MAC -> the campaign being published
    QHash<QString, QString> m_uuidLinks;      // content uuid -> file link
    ImageCache m_cache;                       // file link -> converted picture, or a placeholder
    QHash<QString, QSet<QString>> m_retained; // MAC -> links its campaign holds in the cache
    QHash<QString, qint64> m_planning;        // MAC -> event the content manager is planning
    QHash<QString, Upload> m_uploads;         // MAC -> what its running upload sends
    QHash<QString, Closing> m_closing;        // MAC -> an ended campaign waiting for the cloud
    QSet<QString> m_downloading;              // links being downloaded
    QList<UrlData> m_waitingDownloads;        // files waiting for their turn
};
