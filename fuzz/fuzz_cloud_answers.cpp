// The cloud's answers: every input is read by every endpoint as the facade reads
// it after a success (parseAnswer, then the accessors its slot uses) and after
// a refusal (parseError and the error text), and as a token: the login's and the
// renewal's tokens are decoded for their lifetime, and a server's file name
// becomes a safe one.
#include "FuzzSupport.h"

#include "DownloadFileNames.h"
#include "JWTAuthorizationManager.h"
#include "JsonWebToken.h"
#include "UserInfo.h"
#include "requests/CampaignContentRequest.h"
#include "requests/CompanyInfoRequest.h"
#include "requests/ContentInfoRequest.h"
#include "requests/DeviceCampaignRequest.h"
#include "requests/DeviceInfoRequest.h"
#include "requests/FirmwareInfoRequest.h"
#include "requests/GetDfuRequest.h"
#include "requests/GetInstallerRequest.h"
#include "requests/JWTRefreshTokenRequest.h"
#include "requests/LoginRequest.h"
#include "requests/RegisterUsbDeviceRequest.h"
#include "requests/SendUploadStatusRequest.h"
#include "requests/UpdateDeviceInfoRequest.h"
#include "requests/UserInfoRequest.h"

#include <QJsonArray>

#include <memory>

using FuzzSupport::keep;

namespace {

// The parsing hooks are the framework's own; the facade reaches them through a
// reply, the fuzzer directly.
template <class R>
struct Answered : R {
    using R::R;
    Answered &answer(const QByteArray &data)
    {
        this->parseAnswer(data);
        return *this;
    }
    void refuse(const QByteArray &data)
    {
        this->parseError(data);
        keep(this->errorString().size());
    }
};

void readToken(const QByteArray &token)
{
    const JsonWebToken jwt = JsonWebToken::decode(token);
    const qint64 iat = jwt.numericClaim(QStringLiteral("iat"));
    const qint64 exp = jwt.numericClaim(QStringLiteral("exp"));
    keep(JWTAuthorizationManager::renewalInterval(iat, exp), jwt.algorithm().size(),
         JsonWebToken::isKnownAlgorithm(jwt.algorithm()));
}

void readUser(const UserInfo *user)
{
    if (user)
        keep(user->firstName.size(), user->dob.day(), user->role.toLower().size(), user->id,
             user->companyLogo.toString().size());
}

void readFirmwareLookup(const FirmwareLookupRequest &lookup)
{
    const QString name = DownloadFileNames::safeFileName(lookup.fileName());
    keep(lookup.fileUrl().toString().size(), name.size(),
         DownloadFileNames::uniqueFilePath(QStringLiteral("/nonexistent/fuzz"), name).size());
}

void answerEveryEndpoint(const QByteArray &data)
{
    {
        Answered<LoginRequest> r;
        r.answer(data);
        const std::unique_ptr<UserInfo> user(r.userRecord());
        readUser(user.get());
        readToken(r.authToken());
        keep(r.refreshToken().size());
        r.refuse(data);
    }
    {
        Answered<JWTRefreshTokenRequest> r;
        const QJsonObject answer = r.answer(data).jsonObject().value(QStringLiteral("data")).toObject();
        readToken(answer.value(QStringLiteral("authToken")).toString().toUtf8());
    }
    {
        Answered<UserInfoRequest> r;
        const std::unique_ptr<UserInfo> user(r.answer(data).takeRecord());
        readUser(user.get());
    }
    {
        Answered<CompanyInfoRequest> r;
        keep(r.answer(data).title().size());
    }
    {
        Answered<RegisterUsbDeviceRequest> r;
        r.answer(data);
        keep(r.isActivated(), r.location().size(), r.firmware().signedLink().size());
    }
    {
        Answered<DeviceInfoRequest> r;
        r.answer(data);
        keep(r.name().size(), r.label().size(), r.location().size(), r.lastPairedAt().isValid(),
             r.userId(), r.brightness(), r.toErase(), r.firmwareRevision().size(),
             r.hardwareRevision().size());
    }
    {
        Answered<UpdateDeviceInfoRequest> r;
        r.answer(data);
        keep(r.name().size(), r.label().size(), r.location().size(), r.lastPairedAt().isValid(),
             r.userId());
    }
    {
        Answered<SendUploadStatusRequest> r;
        r.answer(data);
    }
    {
        Answered<DeviceCampaignRequest> r;
        r.setMacAddress(QStringLiteral("c4:4f:33:0a:0b:01"));
        const ContentsInfo info = r.answer(data).contentsInfo();
        keep(info.eventId, info.isUploaded, info.defaultContentId.size(), info.contentIds.size(),
             info.itemsWithoutSlideShows().size());
    }
    {
        Answered<CampaignContentRequest> r;
        r.answer(data);
        for (const UrlData &file : r.imagesData())
            keep(file.type, file.signedLink().size());
        for (const SlideShowInfo &show : r.slideShows())
            keep(show.uuid.size(), show.timeInterval, show.uuids.size(), show.chargingUuid.size());
    }
    {
        Answered<ContentInfoRequest> r;
        r.answer(data);
        keep(r.uuidsData().size(), r.ssContentUuids().size());
    }
    {
        Answered<FirmwareInfoRequest> r;
        keep(r.answer(data).minFwVersion().size());
    }
    {
        Answered<GetDfuRequest> r;
        readFirmwareLookup(r.answer(data));
    }
    {
        Answered<GetInstallerRequest> r(GetInstallerRequest::Dfu);
        readFirmwareLookup(r.answer(data));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    answerEveryEndpoint(bytes);
    // Server words as a token and as a file name.
    readToken(bytes);
    keep(DownloadFileNames::safeFileName(QString::fromUtf8(bytes)).size());
    FuzzSupport::deliverPostedEvents();
    return 0;
}
