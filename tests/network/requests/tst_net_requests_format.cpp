// What each endpoint puts on the wire: method, address, headers and body, built
// without a server. The wire tests check the same against a live service.
#include "CloudAddresses.h"
#include "JsonHelpers.h"
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
#include "requests/JWTRefreshTokenRequest.h"
#include "requests/LoginRequest.h"
#include "requests/RegisterUsbDeviceRequest.h"
#include "requests/SendUploadStatusRequest.h"
#include "requests/UpdateDeviceInfoRequest.h"
#include "requests/UserInfoRequest.h"

#include <QJsonArray>
#include <QtTest>

namespace {

const QString kBase = QStringLiteral("http://127.0.0.1:9/api/v1/");

QStringList keysOf(const QByteArray &body)
{
    return bytesToJsonObject(body).keys();
}

} // namespace

class TestNetRequestsFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TAMO_API_URL", kBase.toUtf8()); }

    void methodsAndAuthorisation()
    {
        LoginRequest login;
        QCOMPARE(login.method(), NetworkRequest::Post);
        QVERIFY(!login.needsAuthorization());
        JWTRefreshTokenRequest refresh;
        QCOMPARE(refresh.method(), NetworkRequest::Post);
        QVERIFY(!refresh.needsAuthorization());
        GetDfuRequest dfu;
        QVERIFY(!dfu.needsAuthorization());
        QCOMPARE(dfu.method(), NetworkRequest::Get);
        DownloadContentRequest content;
        QVERIFY(!content.needsAuthorization());
        DownloadDataRequest data;
        QVERIFY(!data.needsAuthorization());
        QCOMPARE(data.method(), NetworkRequest::Get);

        UserInfoRequest user;
        CompanyInfoRequest company;
        RegisterUsbDeviceRequest reg;
        DeviceInfoRequest info;
        UpdateDeviceInfoRequest update;
        SendUploadStatusRequest status;
        DeviceCampaignRequest campaign;
        CampaignContentRequest campaignContent;
        ContentInfoRequest contentInfo;
        FirmwareInfoRequest fw;
        GetInstallerRequest installer(GetInstallerRequest::Dfu);
        const QList<AuthorizationRequest *> authorised{&user, &company, &reg, &info, &update, &status,
                                                       &campaign, &campaignContent, &contentInfo, &fw, &installer};
        for (AuthorizationRequest *r : authorised)
            QVERIFY2(r->needsAuthorization(), r->metaObject()->className());
        QCOMPARE(user.method(), NetworkRequest::Get);
        QCOMPARE(company.method(), NetworkRequest::Get);
        QCOMPARE(reg.method(), NetworkRequest::Post);
        QCOMPARE(info.method(), NetworkRequest::Get);
        QCOMPARE(update.method(), NetworkRequest::Put);
        QCOMPARE(status.method(), NetworkRequest::Post);
        QCOMPARE(campaign.method(), NetworkRequest::Get);
        QCOMPARE(campaignContent.method(), NetworkRequest::Get);
        QCOMPARE(contentInfo.method(), NetworkRequest::Get);
        QCOMPARE(fw.method(), NetworkRequest::Get);
        QCOMPARE(installer.method(), NetworkRequest::Get);
    }

    void accountAddressesAndBodies()
    {
        LoginRequest login;
        login.setEmail(QStringLiteral("op@company.test"));
        login.setPassword(QStringLiteral("secret"));
        QCOMPARE(login.url().toString(), kBase + "signin/");
        QCOMPARE(login.headers(), jsonHeaders());
        QCOMPARE(keysOf(login.body()), (QStringList{"email", "password"}));
        QVERIFY(login.body().contains('\n'));
        QCOMPARE(bytesToJsonObject(login.body()).value("password").toString(), QStringLiteral("secret"));

        UserInfoRequest user;
        user.setUserId(42);
        QCOMPARE(user.url().toString(), kBase + "user/42");
        QVERIFY(user.body().isEmpty());
        CompanyInfoRequest company;
        company.setCompanyId(7);
        QCOMPARE(company.url().toString(), kBase + "company/7");

        JWTRefreshTokenRequest refresh;
        refresh.setRefreshUrl(kBase + "refresh_token/");
        refresh.setRefreshToken("r-token");
        QCOMPARE(refresh.url().toString(), kBase + "refresh_token/");
        QCOMPARE(bytesToJsonObject(refresh.body()), (QJsonObject{{"token", "r-token"}}));
    }

    void registrationBody()
    {
        RegisterUsbDeviceRequest reg;
        reg.setMacAddress(QStringLiteral("AA:BB:CC:00:11:22"));
        reg.setFwVersion(QStringLiteral("1.5.30"));
        reg.setLocation(QStringLiteral("Hall"));
        reg.setUserId(5);
        QCOMPARE(reg.url().toString(), kBase + "tamo_device_usb");
        const QJsonObject body = bytesToJsonObject(reg.body());
        QCOMPARE(body.keys(), (QStringList{"fwVersion", "location", "macAddress", "userId", "uuid"}));
        QCOMPARE(body.value("uuid").toString(), QStringLiteral("AA:BB:CC:00:11:22"));
        QCOMPARE(body.value("macAddress").toString(), QStringLiteral("AA:BB:CC:00:11:22"));
        QVERIFY(body.value("userId").isDouble());
        QCOMPARE(body.value("userId").toInt(), 5);
    }

    void deviceLookupFiltersOnTheMac()
    {
        DeviceInfoRequest info;
        info.setMacAddress(QStringLiteral("AA:BB:CC:00:11:22"));
        QCOMPARE(info.url().path(), QStringLiteral("/api/v1/tamo_device"));
        QCOMPARE(info.url().query(QUrl::FullyDecoded), QStringLiteral(R"(where={"mac":"AA:BB:CC:00:11:22"})"));
        // Braces and quotes go out percent-encoded.
        const QByteArray wire = info.url().toEncoded();
        QVERIFY2(!wire.contains('"') && !wire.contains('{'), wire.constData());
    }

    void updateBodies()
    {
        UpdateDeviceInfoRequest minimal;
        minimal.setMacAddress(QStringLiteral("AA:BB"));
        QCOMPARE(minimal.url().toString(), kBase + "account/tamo_device/AA:BB");
        QCOMPARE(keysOf(minimal.body()), (QStringList{"mac", "mobilePlatform"}));
        QCOMPARE(bytesToJsonObject(minimal.body()).value("mobilePlatform").toString(), QStringLiteral("usb"));

        UpdateDeviceInfoRequest full;
        full.setMacAddress(QStringLiteral("AA:BB"));
        full.setWithIds(true);
        full.setTamoIds({"10", "9007199254740991", "x"});
        full.setPostIds({});
        full.setLastPairedAt(QDateTime(QDate(2019, 7, 3), QTime(12, 25, 30, 123), Qt::UTC));
        full.setFirmwareRevision(QStringLiteral("1.5.30"));
        full.setSerialNumber(QStringLiteral("SN1"));
        full.setHardwareRevision(QStringLiteral("P2"));
        full.setName(QStringLiteral("Tamo 1"));
        full.setMobilePlatformVersion(QStringLiteral("1.0.95 (Linux)"));
        full.setErased(true);
        const QJsonObject body = bytesToJsonObject(full.body());
        QCOMPARE(body.keys(), (QStringList{"erased", "firmwareRevision", "hardwareRevision", "lastPairedAt", "mac",
                                           "mobilePlatform", "mobilePlatformVersion", "name", "postId",
                                           "serialNumber", "tamoId"}));
        QCOMPARE(body.value("lastPairedAt").toString(), QStringLiteral("2019-07-03T12:25:30.123Z"));
        QCOMPARE(body.value("erased").toBool(), true);
        const QJsonArray tamoIds = body.value("tamoId").toArray();
        QCOMPARE(tamoIds.size(), 3);
        QCOMPARE(jsonInteger(tamoIds.at(0)), 10);
        QCOMPARE(jsonInteger(tamoIds.at(1)), Q_INT64_C(9007199254740991));
        QCOMPARE(jsonInteger(tamoIds.at(2)), 0);
        QVERIFY(body.value("postId").isArray());
        QVERIFY(full.body().contains("9007199254740991"));

        UpdateDeviceInfoRequest notErased;
        notErased.setErased(false);
        QVERIFY(!keysOf(notErased.body()).contains("erased"));
    }

    void uploadStatusBody()
    {
        SendUploadStatusRequest status;
        status.setEventId(42);
        status.setStatus(SendUploadStatusRequest::Failed);
        status.setMacAddress(QStringLiteral("AA"));
        QCOMPARE(status.url().toString(), kBase + "scheduled_event/42/log");
        const QJsonObject body = bytesToJsonObject(status.body());
        QCOMPARE(body.keys(), (QStringList{"errorMessage", "macAddress", "status"}));
        QCOMPARE(body.value("status").toString(), QStringLiteral("failed"));
        QCOMPARE(body.value("errorMessage").toString(), QString());
        QCOMPARE(SendUploadStatusRequest::statusText(SendUploadStatusRequest::InProgress), QStringLiteral("in progress"));
        QCOMPARE(SendUploadStatusRequest::statusText(SendUploadStatusRequest::Success), QStringLiteral("success"));
    }

    void campaignAddressesAndHeaders()
    {
        QCOMPARE(DeviceCampaignRequest::pathAt(QDateTime(QDate(2019, 7, 3), QTime(14, 25, 30, 999))),
                 QStringLiteral("account/event/last?useMacAddress=true&timestamp=2019-07-03T14:25:30"));
        DeviceCampaignRequest campaign;
        campaign.setMacAddress(QStringLiteral("AA:BB:CC:DD:EE:0F"));
        const RawHeaders headers = campaign.headers();
        QCOMPARE(headers.value("X-Mac-Address"), QByteArray("aa:bb:cc:dd:ee:0f"));
        QCOMPARE(headers.value("X-Is-Desktop-App"), QByteArray("true"));
        QCOMPARE(headers.value("Content-Type"), QByteArray("application/json"));
        QVERIFY(campaign.url().toString().startsWith(kBase + "account/event/last?useMacAddress=true&timestamp="));
        QCOMPARE(campaign.contentsInfo().macAddress, QStringLiteral("AA:BB:CC:DD:EE:0F"));
        QCOMPARE(campaign.contentsInfo().eventId, -1);

        CampaignContentRequest content;
        content.setEventId(17);
        QCOMPARE(content.url().toString(), kBase + "account/schedule_event/17/content");

        ContentInfoRequest info;
        info.setUuids({"5", "12"});
        QCOMPARE(info.url().path(), QStringLiteral("/api/v1/account/content/device"));
        QCOMPARE(info.url().query(QUrl::FullyDecoded), QStringLiteral(R"(limit=1000&where={"uuid":[5,12]})"));
    }

    void downloadAddresses()
    {
        UrlData file;
        file.type = GifType;
        file.link = QStringLiteral("https://files.test/p/1.gif");
        file.signature = QStringLiteral("Expires=1&Signature=abc");
        DownloadContentRequest content;
        content.setFile(file);
        QCOMPARE(content.url().toString(), QStringLiteral("https://files.test/p/1.gif?Expires=1&Signature=abc"));
        QVERIFY(content.headers().isEmpty());
        QCOMPARE(content.imageData().type, int(GifType));
        QCOMPARE(content.imageData().link, file.link);
        QCOMPARE(content.imageData().frames.size(), 1);
        QVERIFY(content.imageData().frames.at(0).data.isEmpty());
    }

    void firmwareAddresses()
    {
        FirmwareInfoRequest fw;
        QCOMPARE(fw.url().toString(), kBase + "setting/platform");
        GetDfuRequest dfu;
        QCOMPARE(dfu.url().toString(), kBase + "tamo_device_usb/upgrade");
        GetInstallerRequest installer(GetInstallerRequest::Dfu);
        QCOMPARE(installer.url().toString(), kBase + "installation?type=dfu");
        GetInstallerRequest tool(GetInstallerRequest::UpgradeTool);
        QCOMPARE(tool.url().toEncoded(), (kBase + "installation?type=upgrate%20tool").toUtf8());
        QCOMPARE(GetInstallerRequest::typeText(0), QStringLiteral("pc"));
        QCOMPARE(GetInstallerRequest::typeText(1), QStringLiteral("mac"));
        QCOMPARE(GetInstallerRequest::typeText(9), QString());
    }
};

QTEST_GUILESS_MAIN(TestNetRequestsFormat)
#include "tst_net_requests_format.moc"
