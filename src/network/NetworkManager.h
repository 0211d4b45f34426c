#pragma once

#include "ContentsInfo.h"
#include "ImageData.h"
#include "SlideShowInfo.h"
#include "UrlData.h"
#include "UserInfo.h"
#include "requests/SendUploadStatusRequest.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVector>

#include <memory>

class FirmwareLookupRequest;
class JWTAuthorizationManager;
class QNetworkAccessManager;
class LoginRequest;
class Request;

// The one object through which the application talks to the cloud: each call
// creates one request as a child, and the matching slot turns its outcome into
// one signal and deletes it. Also holds the tokens (through the authorisation
// manager), the logged-in user's record and the one access manager that every
// request goes through, so that connections and TLS sessions are reused.
// Requests run side by side and are never cancelled; each ends on its own, at
// the latest after the requests' inactivity time-out.
class NetworkManager : public QObject
{
    Q_OBJECT

public:
    enum DataType {
        CompanyLogoKey = 0,
        FirmwareFileKey = 1,
        MacAddressKey = 2,
        NameKey = 3,
        LabelKey = 4,
        LocationKey = 5,
        BrightnessKey = 6,
        LastPairedAtKey = 7,
        FirmwareRevisionKey = 8,
        HardwareRevisionKey = 9,
        UserIdKey = 10,
        ToEraseKey = 11,
    };
    Q_ENUM(DataType)

    using DeviceHash = QHash<NetworkManager::DataType, QVariant>;

    explicit NetworkManager(QObject *parent = nullptr);
    ~NetworkManager() override;

    void login(const QString &email, const QString &password);
    void logout();
    void loadUserInfo(const QString &macAddress, int userId);
    void loadCompanyInfo(int companyId);
    void downloadImage(NetworkManager::DataType type);
    // Calls that take a ticket hand it back as the last argument of their answer,
    // so that a caller can tell the answer of what it asked from an older one.
    void registerUsbDevices(const QList<QHash<NetworkManager::DataType, QVariant>> &devices, const QString &location);
    void registerUsbDevice(const DeviceHash &device, const QString &location, quint64 ticket);
    void loadDevicesInfo(const QStringList &macAddresses, quint64 ticket = 0);
    void updateDeviceInfo(const QString &macAddress, const QStringList &tamoIds, const QStringList &postIds,
                          const QDateTime &lastPairedAt, const QString &firmwareRevision, const QString &name,
                          const QString &mobilePlatformVersion, const QString &serialNumber,
                          const QString &hardwareRevision, bool erased, bool withIds);
    void sendUploadStatus(const QString &macAddress, qint64 eventId, SendUploadStatusRequest::Status status,
                          const QString &errorMessage, quint64 ticket = 0);
    void loadDeviceCampaign(const QString &macAddress, quint64 ticket = 0);
    void loadCampaignContent(const QString &macAddress, qint64 eventId, quint64 ticket = 0);
    void loadContentInfo(const QString &macAddress, const QStringList &uuids, quint64 ticket = 0);
    void downloadContent(const UrlData &file);
    void loadFirmwareInfo();
    void downloadFirmwareFile(const QString &folder, bool withAuth);

    // May be null; the manager keeps ownership.
    UserInfo *userInfo() const;
    // Takes ownership; the previous record is deleted.
    void setUserInfo(UserInfo *user);
    QUrl companyLogoUrl(NetworkManager::DataType type) const;
    JWTAuthorizationManager *authorizationManager() const { return m_authorizationManager; }
    // The connection pool of every request of this manager.
    QNetworkAccessManager *accessManager() const { return m_accessManager; }

    static QString uniqueFilePath(const QString &folder, const QString &fileName);

signals:
    void logined(bool success, QString errorString);
    void logouted(bool success, QString errorString);
    void usbDeviceRegistered(QString MACAddress, bool isSuccess, bool isActivated, QString location, UrlData newFw,
                             QString errorString, quint64 ticket);
    void deviceInfoDownloaded(bool isSuccess, QHash<NetworkManager::DataType, QVariant> deviceInfo,
                              QString errorString, quint64 ticket);
    void imageDownloaded(bool success, NetworkManager::DataType type, QPixmap image, QString errorString);
    void userLogoDownloaded(bool success, QPixmap userLogo, QString errorString);
    void companyLogoDownloaded(bool success, QPixmap companyLogo, QString errorString);
    void fileDownloaded(bool success, NetworkManager::DataType type, QString filePath, QString errorString);
    void companyInfoLoaded();
    void fwVersionLoaded(bool success, QString minFwVersion, QString errorString);
    void deviceCampaignReady(bool success, ContentsInfo info, QString errorString, quint64 ticket);
    // After a failure, imagesData and slideShows are empty and errorString says why.
    void campaignInfoReady(QString deviceMAC, QHash<QString, UrlData> imagesData, QVector<SlideShowInfo> slideShows,
                           QString errorString, quint64 ticket);
    // refused: the file will be refused again (too large, a link never fetched).
    void contentsReady(bool success, ImageData imageData, QString errorString, bool refused);
    void contentInfoReady(bool success, QString macAddress, QMap<QDateTime, QString> uuidsData,
                          QMap<QString, QStringList> ssContentUuidsOnDev, QString errorString, quint64 ticket);
    // userInfo is lent for the emission only: the manager deletes it as soon as the
    // receivers have returned, so a receiver copies what it needs and never
    // connects through a queued connection.
    void gotUserInfo(bool success, QString macAddress, UserInfo *userInfo, QString errorString);
    void deviceInfoUpdated(QString macAdress, QHash<NetworkManager::DataType, QVariant> updatedValues);
    void uploadStatusSent(bool success, QString macAddress, SendUploadStatusRequest::Status status, quint64 ticket);

private slots:
    void slotLoginFinished(Request *request);
    void slotDeviceCampaignDownloaded(Request *request);
    void slotCampaignContentDownloaded(Request *request);
    void slotContentInfoDownloaded(Request *request);
    void slotUsbDeviceRegistered(Request *request);
    void slotDeviceInfoDownloaded(Request *request);
    void slotUploadStatusFinished(Request *request);
    void slotDeviceInfoUpdated(Request *request);
    void slotDataDownloaded(Request *request);
    void slotContentDownloaded(Request *request);
    void slotCompanInfoLoaded(Request *request);
    void slotUserInfoLoaded(Request *request);
    void slotDfuInfoLoaded(Request *request);
    void slotFileDownloaded(Request *request);
    void slotFwInfoLoaded(Request *request);

private:
    enum class FailureLog { Warn, Quiet };

    template <typename R, typename Slot>
    void start(R *request, Slot slot, quint64 ticket = 0);
    // The one shape of every slot: the finished request, as the class that was
    // sent, and its outcome (a failure logged unless Quiet) go to read(), which
    // emits; then the request is deleted.
    template <typename R, typename Read>
    void conclude(Request *request, Read read, FailureLog log = FailureLog::Warn);
    bool checkRequestResult(Request *request) const;
    void acceptLogin(LoginRequest &login);
    void downloadFirmware(const FirmwareLookupRequest &lookup);

    QNetworkAccessManager *m_accessManager = nullptr;
    JWTAuthorizationManager *m_authorizationManager = nullptr;
    std::unique_ptr<UserInfo> m_currentUser;
};

