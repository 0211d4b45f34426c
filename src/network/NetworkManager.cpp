#include "NetworkManager.h"

#include "CloudAddresses.h"
#include "CloudConnections.h"
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
#include "requests/FirmwareLookupRequest.h"
#include "requests/GetDfuRequest.h"
#include "requests/GetInstallerRequest.h"
#include "requests/LoginRequest.h"
#include "requests/RegisterUsbDeviceRequest.h"
#include "requests/UpdateDeviceInfoRequest.h"
#include "requests/UserInfoRequest.h"

#include <QDebug>
#include <QFile>
#include <QNetworkAccessManager>

namespace {

const char *const kRoleCompanyManager = "company_manager";
const char *const kRoleAdmin = "admin";

NetworkManager::DeviceHash deviceHash(const DeviceInfoRequest &r)
{
    return {{NetworkManager::MacAddressKey, r.macAddress()},
            {NetworkManager::NameKey, r.name()},
            {NetworkManager::LabelKey, r.label()},
            {NetworkManager::LocationKey, r.location()},
            {NetworkManager::LastPairedAtKey, r.lastPairedAt()},
            {NetworkManager::UserIdKey, r.userId()},
            {NetworkManager::BrightnessKey, r.brightness()},
            {NetworkManager::ToEraseKey, r.toErase()},
            {NetworkManager::FirmwareRevisionKey, r.firmwareRevision()},
            {NetworkManager::HardwareRevisionKey, r.hardwareRevision()}};
}

NetworkManager::DeviceHash updatedValues(const UpdateDeviceInfoRequest &r)
{
    return {{NetworkManager::NameKey, r.name()},
            {NetworkManager::LabelKey, r.label()},
            {NetworkManager::LocationKey, r.location()},
            {NetworkManager::LastPairedAtKey, r.lastPairedAt()},
            {NetworkManager::UserIdKey, r.userId()}};
}

} // namespace

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , m_accessManager(CloudConnections::createAccessManager(this))
    , m_authorizationManager(new JWTAuthorizationManager(this))
{
    NetworkMetaTypes::registerAll();
    TlsTrust::installFromEnvironment();
    CloudConnections::logProxy();
    m_authorizationManager->setRefreshUrl(CloudAddresses::apiBaseUrl() + QStringLiteral("refresh_token/"));
    m_authorizationManager->setAccessManager(m_accessManager);
    JWTAuthorizationManager::setInstance(m_authorizationManager);
}

NetworkManager::~NetworkManager()
{
    // Requests in flight go before the manager whose replies they hold.
    qDeleteAll(findChildren<Request *>(QString(), Qt::FindDirectChildrenOnly));
}

template <typename R, typename Slot>
void NetworkManager::start(R *request, Slot slot, quint64 ticket)
{
    request->setTicket(ticket);
    request->setAccessManager(m_accessManager);
    connect(request, &Request::finished, this, slot, Qt::UniqueConnection);
    request->slotSend();
}

template <typename R, typename Read>
void NetworkManager::conclude(Request *request, Read read, FailureLog log)
{
    if (auto *finished = qobject_cast<R *>(request))
        read(*finished, log == FailureLog::Warn ? checkRequestResult(finished) : !finished->hasError());
    // Still inside its own finished() emission: deleted once that is over.
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
    conclude<LoginRequest>(request, [this](LoginRequest &login, bool) { acceptLogin(login); });
}

void NetworkManager::acceptLogin(LoginRequest &login)
{
    UserInfo *user = login.userRecord();
    if (!user) {
        emit logined(false, login.errorString());
        return;
    }
    // A refused role keeps the record and the tokens, as the service issued them.
    setUserInfo(user);
    m_authorizationManager->setAuthToken(login.authToken());
    m_authorizationManager->setRefreshToken(login.refreshToken());
    user->role = user->role.toLower();
    if (user->role == QLatin1String(kRoleCompanyManager) || user->role == QLatin1String(kRoleAdmin))
        emit logined(true, QString());
    else
        emit logined(false, tr("You have no permission to authorize into the application."));
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
    conclude<UserInfoRequest>(request, [this](UserInfoRequest &r, bool ok) {
        // Lent for the emission only, also after a failure (then with empty fields).
        const std::unique_ptr<UserInfo> record(r.takeRecord());
        emit gotUserInfo(ok, r.macAddress(), record.get(), r.errorString());
    });
}

void NetworkManager::loadCompanyInfo(int companyId)
{
    auto *request = new CompanyInfoRequest(this);
    request->setCompanyId(companyId);
    start(request, &NetworkManager::slotCompanInfoLoaded);
}

void NetworkManager::slotCompanInfoLoaded(Request *request)
{
    // The title is a nicety: a failure is neither reported nor logged.
    conclude<CompanyInfoRequest>(
        request,
        [this](CompanyInfoRequest &r, bool ok) {
            if (!ok)
                return;
            if (m_currentUser)
                m_currentUser->companyName = r.title();
            emit companyInfoLoaded();
        },
        FailureLog::Quiet);
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
    conclude<DownloadDataRequest>(request, [this](DownloadDataRequest &r, bool ok) {
        QPixmap image;
        if (!r.data().isEmpty())
            image.loadFromData(r.data());
        emit imageDownloaded(ok, static_cast<DataType>(r.type()), image, r.errorString());
    });
}

// --- devices ---------------------------------------------------------------

void NetworkManager::registerUsbDevices(const QList<QHash<DataType, QVariant>> &devices, const QString &location)
{
    for (const auto &device : devices)
        registerUsbDevice(device, location, 0);
}

void NetworkManager::registerUsbDevice(const DeviceHash &device, const QString &location, quint64 ticket)
{
    auto *request = new RegisterUsbDeviceRequest(this);
    request->setMacAddress(device.value(MacAddressKey).toString());
    request->setFwVersion(device.value(FirmwareRevisionKey).toString());
    request->setLocation(location);
    if (m_currentUser)
        request->setUserId(m_currentUser->id);
    start(request, &NetworkManager::slotUsbDeviceRegistered, ticket);
}

void NetworkManager::slotUsbDeviceRegistered(Request *request)
{
    conclude<RegisterUsbDeviceRequest>(request, [this](RegisterUsbDeviceRequest &r, bool ok) {
        emit usbDeviceRegistered(r.macAddress(), ok, r.isActivated(), r.location(), r.firmware(), r.errorString(),
                                 r.ticket());
    });
}

void NetworkManager::loadDevicesInfo(const QStringList &macAddresses, quint64 ticket)
{
    for (const QString &mac : macAddresses) {
        auto *request = new DeviceInfoRequest(this);
        request->setMacAddress(mac);
        start(request, &NetworkManager::slotDeviceInfoDownloaded, ticket);
    }
}

void NetworkManager::slotDeviceInfoDownloaded(Request *request)
{
    conclude<DeviceInfoRequest>(request, [this](DeviceInfoRequest &r, bool ok) {
        emit deviceInfoDownloaded(ok, deviceHash(r), r.errorString(), r.ticket());
    });
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
    // Emitted after a failure too, with the empty values.
    conclude<UpdateDeviceInfoRequest>(request, [this](UpdateDeviceInfoRequest &r, bool) {
        emit deviceInfoUpdated(r.macAddress(), updatedValues(r));
    });
}

void NetworkManager::sendUploadStatus(const QString &macAddress, qint64 eventId,
                                      SendUploadStatusRequest::Status status, const QString &errorMessage,
                                      quint64 ticket)
{
    auto *request = new SendUploadStatusRequest(this);
    request->setMacAddress(macAddress);
    request->setEventId(eventId);
    request->setStatus(status);
    request->setErrorMessage(errorMessage);
    start(request, &NetworkManager::slotUploadStatusFinished, ticket);
}

void NetworkManager::slotUploadStatusFinished(Request *request)
{
    conclude<SendUploadStatusRequest>(request, [this](SendUploadStatusRequest &r, bool ok) {
        emit uploadStatusSent(ok, r.macAddress(), r.uploadStatus(), r.ticket());
    });
}

// --- campaigns and content -------------------------------------------------

void NetworkManager::loadDeviceCampaign(const QString &macAddress, quint64 ticket)
{
    auto *request = new DeviceCampaignRequest(this);
    request->setMacAddress(macAddress);
    start(request, &NetworkManager::slotDeviceCampaignDownloaded, ticket);
}

void NetworkManager::slotDeviceCampaignDownloaded(Request *request)
{
    conclude<DeviceCampaignRequest>(request, [this](DeviceCampaignRequest &r, bool ok) {
        emit deviceCampaignReady(ok, r.contentsInfo(), r.errorString(), r.ticket());
    });
}

void NetworkManager::loadCampaignContent(const QString &macAddress, qint64 eventId, quint64 ticket)
{
    auto *request = new CampaignContentRequest(this);
    request->setMacAddress(macAddress);
    request->setEventId(eventId);
    start(request, &NetworkManager::slotCampaignContentDownloaded, ticket);
}

void NetworkManager::slotCampaignContentDownloaded(Request *request)
{
    conclude<CampaignContentRequest>(request, [this](CampaignContentRequest &r, bool ok) {
        if (!ok) {
            qWarning().noquote() << "Error on downloading last campaign data for device with MAC=" + r.macAddress();
            emit campaignInfoReady(r.macAddress(), {}, {}, r.errorString(), r.ticket());
            return;
        }
        emit campaignInfoReady(r.macAddress(), r.imagesData(), r.slideShows(), QString(), r.ticket());
    });
}

void NetworkManager::loadContentInfo(const QString &macAddress, const QStringList &uuids, quint64 ticket)
{
    auto *request = new ContentInfoRequest(this);
    request->setMacAddress(macAddress);
    request->setUuids(uuids);
    start(request, &NetworkManager::slotContentInfoDownloaded, ticket);
}

void NetworkManager::slotContentInfoDownloaded(Request *request)
{
    conclude<ContentInfoRequest>(request, [this](ContentInfoRequest &r, bool ok) {
        emit contentInfoReady(ok, r.macAddress(), r.uuidsData(), r.ssContentUuids(), r.errorString(), r.ticket());
    });
}

void NetworkManager::downloadContent(const UrlData &file)
{
    auto *request = new DownloadContentRequest(this);
    request->setFile(file);
    start(request, &NetworkManager::slotContentDownloaded);
}

void NetworkManager::slotContentDownloaded(Request *request)
{
    conclude<DownloadContentRequest>(request, [this](DownloadContentRequest &r, bool ok) {
        const bool refused = r.status() == Request::TooLargeError || r.status() == Request::RefusedLinkError;
        emit contentsReady(ok, r.imageData(), r.errorString(), refused);
    });
}

// --- firmware --------------------------------------------------------------

void NetworkManager::loadFirmwareInfo()
{
    start(new FirmwareInfoRequest(this), &NetworkManager::slotFwInfoLoaded);
}

void NetworkManager::slotFwInfoLoaded(Request *request)
{
    conclude<FirmwareInfoRequest>(request, [this](FirmwareInfoRequest &r, bool ok) {
        emit fwVersionLoaded(ok, ok ? r.minFwVersion() : QString(), r.errorString());
    });
}

void NetworkManager::downloadFirmwareFile(const QString &folder, bool withAuth)
{
    FirmwareLookupRequest *lookup = nullptr;
    if (withAuth)
        lookup = new GetInstallerRequest(GetInstallerRequest::Dfu, this);
    else
        lookup = new GetDfuRequest(this);
    lookup->setFolder(folder);
    start(lookup, &NetworkManager::slotDfuInfoLoaded);
}

void NetworkManager::slotDfuInfoLoaded(Request *request)
{
    conclude<FirmwareLookupRequest>(request, [this](FirmwareLookupRequest &lookup, bool ok) {
        if (ok)
            downloadFirmware(lookup);
        else
            emit fileDownloaded(false, FirmwareFileKey, QString(), lookup.errorString());
    });
}

void NetworkManager::downloadFirmware(const FirmwareLookupRequest &lookup)
{
    // Without a file name (no active installer) the file still gets a safe one.
    const QString path = uniqueFilePath(lookup.folder(), DownloadFileNames::safeFileName(lookup.fileName()));
    auto *download = new DownloadDataRequest(this);
    auto *file = new QFile(path, download);
    // A new file only: a download never overwrites (nor later removes) a file
    // that was there before.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        emit fileDownloaded(false, FirmwareFileKey, path, tr("Cannot write %1: %2").arg(path, file->errorString()));
        delete download;
        return;
    }
    download->setOutputDevice(file);
    download->setUrl(lookup.fileUrl());
    download->setType(FirmwareFileKey);
    start(download, &NetworkManager::slotFileDownloaded);
}

void NetworkManager::slotFileDownloaded(Request *request)
{
    conclude<DownloadDataRequest>(request, [this](DownloadDataRequest &r, bool ok) {
        auto *file = qobject_cast<QFile *>(r.outputDevice());
        const QString path = file ? file->fileName() : QString();
        if (!ok && file) {
            // A cut or refused download must not leave a firmware file behind that
            // could be flashed later.
            file->close();
            file->remove();
        }
        emit fileDownloaded(ok, static_cast<DataType>(r.type()), path, r.errorString());
    });
}
