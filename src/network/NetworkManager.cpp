#include "NetworkManager.h"

#include "CloudAddresses.h"
#include "DownloadFileNames.h"
#include "JWTAuthorizationManager.h"
#include "NetworkMetaTypes.h"
#include "SecretRedactor.h"
#include "TlsTrust.h"
#include "UserInfo.h"
#include "requests/CampaignContentRequest.h"
#include "requests/CompanyInfoRequest.h"
#include "requests/ContentInfoRequest.h"
#include "requests/DeviceCampaignRequest.h"
#include "requests/DeviceInfoRequest.h"
#include "requests/DownloadContentRequest.h"
#include "requests/DownloadDataRequest.h"
#include "requests/FirmwareInfoRequest.h"
#include "requests/GetDfuRequest.h"
#include "requests/GetInstallerRequest.h"
#include "requests/LoginRequest.h"
#include "requests/RegisterUsbDeviceRequest.h"
#include "requests/UpdateDeviceInfoRequest.h"
#include "requests/UserInfoRequest.h"

#include <QDebug>
#include <QFile>

namespace {

const char *const kRoleCompanyManager = "company_manager";
const char *const kRoleAdmin = "admin";

} // namespace

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , m_authorizationManager(new JWTAuthorizationManager(this))
{
    NetworkMetaTypes::registerAll();
    TlsTrust::installFromEnvironment();
    m_authorizationManager->setRefreshUrl(CloudAddresses::apiBaseUrl() + QStringLiteral("refresh_token/"));
    JWTAuthorizationManager::setInstance(m_authorizationManager);
}

NetworkManager::~NetworkManager() = default;

template <typename R, typename Slot>
void NetworkManager::start(R *request, Slot slot)
{
    connect(request, &Request::finished, this, slot, Qt::UniqueConnection);
    request->slotSend();
}

void NetworkManager::release(Request *request)
{
    // The request is still inside its own finished() emission.
    if (request)
        request->deleteLater();
}

bool NetworkManager::checkRequestResult(Request *request) const
{
    if (!request->hasError())
        return true;
    qWarning() << "Failed checkRequestResult:" << request << SecretRedactor::redact(request->errorString());
    return false;
}

QString NetworkManager::uniqueFilePath(const QString &folder, const QString &fileName)
{
    return DownloadFileNames::uniqueFilePath(folder, fileName);
}

UserInfo *NetworkManager::userInfo() const
{
    return m_currentUser.get();
}

void NetworkManager::setUserInfo(UserInfo *user)
{
    m_currentUser.reset(user);
}

QUrl NetworkManager::companyLogoUrl(DataType type) const
{
    if (type == CompanyLogoKey && m_currentUser)
        return m_currentUser->companyLogo;
    return QUrl();
}

// --- account ---------------------------------------------------------------

void NetworkManager::login(const QString &email, const QString &password)
{
    if (email.isEmpty() || password.isEmpty()) {
        emit logined(false, tr("Email and password can not be empty"));
        return;
    }
    // An error text that quotes the password must not reach the log.
    SecretRedactor::addSecret(password);
    auto *request = new LoginRequest(this);
    request->setEmail(email);
    request->setPassword(password);
    // No context object: the secret is dropped however the request ends.
    connect(request, &QObject::destroyed, [password] { SecretRedactor::removeSecret(password); });
    start(request, &NetworkManager::slotLoginFinished);
}

void NetworkManager::slotLoginFinished(Request *request)
{
    auto *login = qobject_cast<LoginRequest *>(request);
    if (!login) {
        release(request);
        return;
    }
    checkRequestResult(login);
    UserInfo *user = login->userRecord();
    if (user) {
        setUserInfo(user);
        m_authorizationManager->setAuthToken(login->authToken());
        m_authorizationManager->setRefreshToken(login->refreshToken());
        user->role = user->role.toLower();
        if (user->role == QLatin1String(kRoleCompanyManager) || user->role == QLatin1String(kRoleAdmin))
            emit logined(true, QString());
        else
            emit logined(false, tr("You have no permission to authorize into the application."));
    } else {
        emit logined(false, login->errorString());
    }
    release(login);
}

void NetworkManager::logout()
{
    m_currentUser.reset();
    m_authorizationManager->clearTokens();
    emit logouted(true, QString());
}

void NetworkManager::loadUserInfo(const QString &macAddress, int userId)
{
    auto *request = new UserInfoRequest(this);
    request->setMacAddress(macAddress);
    request->setUserId(userId);
    start(request, &NetworkManager::slotUserInfoLoaded);
}

void NetworkManager::slotUserInfoLoaded(Request *request)
{
    auto *r = qobject_cast<UserInfoRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    // Lent for the emission only, also after a failure (then with empty fields).
    const std::unique_ptr<UserInfo> record(r->takeRecord());
    emit gotUserInfo(ok, r->macAddress(), record.get(), r->errorString());
    release(r);
}

void NetworkManager::loadCompanyInfo(int companyId)
{
    auto *request = new CompanyInfoRequest(this);
    request->setCompanyId(companyId);
    start(request, &NetworkManager::slotCompanInfoLoaded);
}

void NetworkManager::slotCompanInfoLoaded(Request *request)
{
    auto *r = qobject_cast<CompanyInfoRequest *>(request);
    if (r && !r->hasError()) {
        if (m_currentUser)
            m_currentUser->companyName = r->title();
        emit companyInfoLoaded();
    }
    release(request);
}

void NetworkManager::downloadImage(DataType type)
{
    const QUrl url = companyLogoUrl(type);
    if (!url.isValid() || url.isEmpty())
        return;
    auto *request = new DownloadDataRequest(this);
    request->setUrl(url);
    request->setType(type);
    start(request, &NetworkManager::slotDataDownloaded);
}

void NetworkManager::slotDataDownloaded(Request *request)
{
    auto *r = qobject_cast<DownloadDataRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    QPixmap image;
    if (!r->data().isEmpty())
        image.loadFromData(r->data());
    emit imageDownloaded(ok, static_cast<DataType>(r->type()), image, r->errorString());
    release(r);
}

// --- devices ---------------------------------------------------------------

void NetworkManager::registerUsbDevices(const QList<QHash<DataType, QVariant>> &devices, const QString &location)
{
    for (const auto &device : devices) {
        auto *request = new RegisterUsbDeviceRequest(this);
        request->setMacAddress(device.value(MacAddressKey).toString());
        request->setFwVersion(device.value(FirmwareRevisionKey).toString());
        request->setLocation(location);
        if (m_currentUser)
            request->setUserId(m_currentUser->id);
        start(request, &NetworkManager::slotUsbDeviceRegistered);
    }
}

void NetworkManager::slotUsbDeviceRegistered(Request *request)
{
    auto *r = qobject_cast<RegisterUsbDeviceRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    emit usbDeviceRegistered(r->macAddress(), ok, r->isActivated(), r->location(), r->firmware(), r->errorString());
    release(r);
}

void NetworkManager::loadDevicesInfo(const QStringList &macAddresses)
{
    for (const QString &mac : macAddresses) {
        auto *request = new DeviceInfoRequest(this);
        request->setMacAddress(mac);
        start(request, &NetworkManager::slotDeviceInfoDownloaded);
    }
}

void NetworkManager::slotDeviceInfoDownloaded(Request *request)
{
    auto *r = qobject_cast<DeviceInfoRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    QHash<DataType, QVariant> info;
    info.insert(MacAddressKey, r->macAddress());
    info.insert(NameKey, r->name());
    info.insert(LabelKey, r->label());
    info.insert(LocationKey, r->location());
    info.insert(LastPairedAtKey, r->lastPairedAt());
    info.insert(UserIdKey, r->userId());
    info.insert(BrightnessKey, r->brightness());
    info.insert(ToEraseKey, r->toErase());
    info.insert(FirmwareRevisionKey, r->firmwareRevision());
    info.insert(HardwareRevisionKey, r->hardwareRevision());
    emit deviceInfoDownloaded(ok, info, r->errorString());
    release(r);
}

void NetworkManager::updateDeviceInfo(const QString &macAddress, const QStringList &tamoIds,
                                      const QStringList &postIds, const QDateTime &lastPairedAt,
                                      const QString &firmwareRevision, const QString &name,
                                      const QString &mobilePlatformVersion, const QString &serialNumber,
                                      const QString &hardwareRevision, bool erased, bool withIds)
{
    auto *request = new UpdateDeviceInfoRequest(this);
    request->setMacAddress(macAddress);
    request->setTamoIds(tamoIds);
    request->setPostIds(postIds);
    request->setLastPairedAt(lastPairedAt.isValid() ? lastPairedAt.toUTC() : lastPairedAt);
    request->setFirmwareRevision(firmwareRevision);
    request->setName(name);
    request->setMobilePlatformVersion(mobilePlatformVersion);
    request->setSerialNumber(serialNumber);
    request->setHardwareRevision(hardwareRevision);
    request->setErased(erased);
    request->setWithIds(withIds);
    start(request, &NetworkManager::slotDeviceInfoUpdated);
}

void NetworkManager::slotDeviceInfoUpdated(Request *request)
{
    auto *r = qobject_cast<UpdateDeviceInfoRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    checkRequestResult(r);
    QHash<DataType, QVariant> values;
    values.insert(NameKey, r->name());
    values.insert(LabelKey, r->label());
    values.insert(LocationKey, r->location());
    values.insert(LastPairedAtKey, r->lastPairedAt());
    values.insert(UserIdKey, r->userId());
    emit deviceInfoUpdated(r->macAddress(), values);
    release(r);
}

void NetworkManager::sendUploadStatus(const QString &macAddress, qint64 eventId,
                                      SendUploadStatusRequest::Status status, const QString &errorMessage)
{
    auto *request = new SendUploadStatusRequest(this);
    request->setMacAddress(macAddress);
    request->setEventId(eventId);
    request->setStatus(status);
    request->setErrorMessage(errorMessage);
    start(request, &NetworkManager::slotUploadStatusFinished);
}

void NetworkManager::slotUploadStatusFinished(Request *request)
{
    auto *r = qobject_cast<SendUploadStatusRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    emit uploadStatusSent(ok, r->macAddress(), r->uploadStatus());
    release(r);
}

// --- campaigns and content -------------------------------------------------

void NetworkManager::loadDeviceCampaign(const QString &macAddress)
{
    auto *request = new DeviceCampaignRequest(this);
    request->setMacAddress(macAddress);
    start(request, &NetworkManager::slotDeviceCampaignDownloaded);
}

void NetworkManager::slotDeviceCampaignDownloaded(Request *request)
{
    auto *r = qobject_cast<DeviceCampaignRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    emit deviceCampaignReady(ok, r->contentsInfo(), r->errorString());
    release(r);
}

void NetworkManager::loadCampaignContent(const QString &macAddress, qint64 eventId)
{
    auto *request = new CampaignContentRequest(this);
    request->setMacAddress(macAddress);
    request->setEventId(eventId);
    start(request, &NetworkManager::slotCampaignContentDownloaded);
}

void NetworkManager::slotCampaignContentDownloaded(Request *request)
{
    auto *r = qobject_cast<CampaignContentRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    if (!checkRequestResult(r)) {
        qWarning().noquote() << "Error on downloading last campaign data for device with MAC=" + r->macAddress();
        emit campaignInfoReady(r->macAddress(), {}, {});
    } else {
        emit campaignInfoReady(r->macAddress(), r->imagesData(), r->slideShows());
    }
    release(r);
}

void NetworkManager::loadContentInfo(const QString &macAddress, const QStringList &uuids)
{
    auto *request = new ContentInfoRequest(this);
    request->setMacAddress(macAddress);
    request->setUuids(uuids);
    start(request, &NetworkManager::slotContentInfoDownloaded);
}

void NetworkManager::slotContentInfoDownloaded(Request *request)
{
    auto *r = qobject_cast<ContentInfoRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    emit contentInfoReady(ok, r->macAddress(), r->uuidsData(), r->ssContentUuids(), r->errorString());
    release(r);
}

void NetworkManager::downloadContent(const UrlData &file)
{
    auto *request = new DownloadContentRequest(this);
    request->setFile(file);
    start(request, &NetworkManager::slotContentDownloaded);
}

void NetworkManager::slotContentDownloaded(Request *request)
{
    auto *r = qobject_cast<DownloadContentRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    emit contentsReady(ok, r->imageData());
    release(r);
}

// --- firmware --------------------------------------------------------------

void NetworkManager::loadFirmwareInfo()
{
    start(new FirmwareInfoRequest(this), &NetworkManager::slotFwInfoLoaded);
}

void NetworkManager::slotFwInfoLoaded(Request *request)
{
    auto *r = qobject_cast<FirmwareInfoRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    emit fwVersionLoaded(ok, ok ? r->minFwVersion() : QString(), r->errorString());
    release(r);
}

void NetworkManager::downloadFirmwareFile(const QString &folder, bool withAuth)
{
    if (withAuth) {
        auto *request = new GetInstallerRequest(GetInstallerRequest::Dfu, this);
        request->setFolder(folder);
        start(request, &NetworkManager::slotDfuInfoLoaded);
    } else {
        auto *request = new GetDfuRequest(this);
        request->setFolder(folder);
        start(request, &NetworkManager::slotDfuInfoLoaded);
    }
}

void NetworkManager::slotDfuInfoLoaded(Request *request)
{
    QString folder;
    QString fileName;
    QUrl fileUrl;
    if (auto *installer = qobject_cast<GetInstallerRequest *>(request)) {
        folder = installer->folder();
        fileName = installer->fileName();
        fileUrl = installer->fileUrl();
    } else if (auto *dfu = qobject_cast<GetDfuRequest *>(request)) {
        folder = dfu->folder();
        fileName = dfu->fileName();
        fileUrl = dfu->fileUrl();
    } else {
        release(request);
        return;
    }

    if (!checkRequestResult(request)) {
        emit fileDownloaded(false, FirmwareFileKey, QString(), request->errorString());
        release(request);
        return;
    }

    const QString path = uniqueFilePath(folder, DownloadFileNames::safeFileName(fileName));
    auto *download = new DownloadDataRequest(this);
    auto *file = new QFile(path, download);
    // A new file only: a download never overwrites (nor later removes) a file
    // that was there before.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        emit fileDownloaded(false, FirmwareFileKey, path, tr("Cannot write %1: %2").arg(path, file->errorString()));
        delete download;
        release(request);
        return;
    }
    download->setOutputDevice(file);
    download->setUrl(fileUrl);
    download->setType(FirmwareFileKey);
    start(download, &NetworkManager::slotFileDownloaded);
    release(request);
}

void NetworkManager::slotFileDownloaded(Request *request)
{
    auto *r = qobject_cast<DownloadDataRequest *>(request);
    if (!r) {
        release(request);
        return;
    }
    const bool ok = checkRequestResult(r);
    auto *file = qobject_cast<QFile *>(r->outputDevice());
    const QString path = file ? file->fileName() : QString();
    if (!ok && file) {
        // A cut or refused download must not leave a firmware file behind that
        // could be flashed later.
        file->close();
        if (file->exists())
            file->remove();
    }
    emit fileDownloaded(ok, static_cast<DataType>(r->type()), path, r->errorString());
    release(r);
}
