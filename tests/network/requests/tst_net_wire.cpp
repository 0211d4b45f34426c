// Every endpoint against the cloud simulator over a real socket: what goes on the
// wire (method, path and query, headers, body) as the service recorded it, and
// what the facade makes of the answers.
#include "CloudSim.h"
#include "ImageBytes.h"
#include "JWTAuthorizationManager.h"
#include "NetworkManager.h"
#include "UserInfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

const QString kMac1 = QStringLiteral("AA:BB:CC:00:00:01");
const QString kMac2 = QStringLiteral("AA:BB:CC:00:00:02");

QJsonObject fixture()
{
    return QJsonDocument::fromJson(R"({
      "minFWVersion": "1.5.28",
      "companies": [{"id": 1, "title": "Acme Displays", "logo": "logo.png"}],
      "users": [
        {"id": 7, "email": "op@acme.test", "password": "Op-Pass-1", "role": "company_manager",
         "companyId": 1, "firstName": "Olga", "lastName": "Pohl", "username": "olga", "dob": "1990-05-17"},
        {"id": 8, "email": "field@acme.test", "password": "Field-2", "role": "user",
         "companyId": 1, "firstName": "Finn", "lastName": "Field", "username": "finn"}],
      "devices": [
        {"mac": "aa:bb:cc:00:00:01", "activated": true, "name": "T1", "label": "Desk", "location": "Hall",
         "brightness": 70, "userId": 8, "firmwareRevision": "1.5.30", "hardwareRevision": "P2",
         "serialNumber": "SN1", "lastPairedAt": "2024-05-01T10:00:00.000Z"},
        {"mac": "aa:bb:cc:00:00:02", "activated": false}],
      "contents": [
        {"id": 101, "uuid": 5001, "file": "a.jpg", "createdAt": "2024-04-02T08:00:00.000Z"},
        {"id": 102, "uuid": 5002, "file": "b.gif", "createdAt": "2024-04-02T08:05:00.000Z"},
        {"id": 103, "uuid": 5003, "file": "c.png", "createdAt": "2024-04-02T08:10:00.000Z"}],
      "posts": [{"id": 201, "uuid": 6001, "tamoIds": [101, 103, 101], "chargingTamoId": 102,
                 "timeInterval": 5, "createdAt": "2024-04-03T10:05:00.000Z"}],
      "events": [{"id": 42, "mac": "aa:bb:cc:00:00:01", "contentIds": [5001, 5002, 6001],
                  "defaultContentId": 6001}],
      "firmware": {"version": "1.6.0", "file": "tamo.dfu", "offerAtRegistration": true},
      "installations": [{"type": "dfu", "name": "tamo-installer.dfu", "file": "tamo.dfu", "active": true}]
    })")
        .object();
}

QJsonObject lastOf(const QJsonArray &array)
{
    return array.isEmpty() ? QJsonObject() : array.last().toObject();
}

// The last call to path went out with this method and bearer flag and was answered 200.
bool called(const CloudSim &sim, const QString &path, const char *method, bool bearer)
{
    const QJsonObject req = lastOf(sim.requests(path));
    if (req.value("method").toString() == QLatin1String(method) && req.value("bearer").toBool() == bearer
        && req.value("status").toInt() == 200)
        return true;
    qWarning() << path << req;
    return false;
}

} // namespace

class TestNetWire : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_files = {{"logo.png", imageBytes(QSize(40, 20), Qt::darkCyan)},
                   {"a.jpg", QByteArray("\xff\xd8\xff\xe0 jpeg bytes", 16)},
                   {"b.gif", QByteArray("GIF89a gif bytes")},
                   {"c.png", imageBytes(QSize(8, 8), Qt::darkCyan)},
                   {"tamo.dfu", QByteArray("DFU firmware image")}};
        m_sim = std::make_unique<CloudSim>(fixture(), QStringList{}, m_files);
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->failure()));
        m_sim->useForClient();
        m_net = std::make_unique<NetworkManager>();

        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        QCOMPARE(logined.at(0).at(0).toBool(), true);
        QCOMPARE(logined.at(0).at(1).toString(), QString());
    }

    void cleanupTestCase()
    {
        m_net.reset();
        m_sim.reset();
    }

    void signInNeverCarriesAToken()
    {
        // The service insists on the JSON content type and the indented, sorted body.
        QVERIFY(called(*m_sim, "signin/", "POST", false));
        QCOMPARE(lastOf(m_sim->actions("logins")).value("email").toString(), QStringLiteral("op@acme.test"));

        const UserInfo *user = m_net->userInfo();
        QVERIFY(user);
        QCOMPARE(user->id, 7);
        QCOMPARE(user->companyId, 1);
        QCOMPARE(user->role, QStringLiteral("company_manager"));
        QCOMPARE(user->firstName, QStringLiteral("Olga"));
        QVERIFY(m_net->authorizationManager()->hasTokens());
        QVERIFY(m_net->authorizationManager()->isRenewalScheduled());

        // Nor with the tokens it brought.
        QSignalSpy logined(m_net.get(), &NetworkManager::logined);
        m_net->login(QStringLiteral("op@acme.test"), QStringLiteral("Op-Pass-1"));
        QVERIFY(logined.wait(10000));
        QVERIFY(called(*m_sim, "signin/", "POST", false));
    }

    void companyLogo()
    {
        QVERIFY(m_net->companyLogoUrl(NetworkManager::CompanyLogoKey).isValid());
        QVERIFY(m_net->companyLogoUrl(NetworkManager::FirmwareFileKey).isEmpty());
        QSignalSpy images(m_net.get(), &NetworkManager::imageDownloaded);
        m_net->downloadImage(NetworkManager::CompanyLogoKey);
        QVERIFY(images.wait(10000));
        QCOMPARE(images.at(0).at(0).toBool(), true);
        QCOMPARE(images.at(0).at(1).value<NetworkManager::DataType>(), NetworkManager::CompanyLogoKey);
        const QPixmap logo = images.at(0).at(2).value<QPixmap>();
        QCOMPARE(logo.size(), QSize(40, 20));
        const QJsonObject req = lastOf(m_sim->requests());
        QVERIFY(req.value("path").toString().startsWith(QStringLiteral("files/")));
        QCOMPARE(req.value("bearer").toBool(), false); // signed links carry no token
    }

    void userLookup()
    {
        // The record is lent for the emission: a receiver reads it then and never
        // deletes it (a record left to the receiver leaks once per heartbeat and
        // device; the sanitizer build's leak check sees it).
        UserInfo seen;
        connect(m_net.get(), &NetworkManager::gotUserInfo, this,
                [&seen](bool, const QString &, UserInfo *user) { seen = user ? *user : UserInfo(); });
        QSignalSpy got(m_net.get(), &NetworkManager::gotUserInfo);
        m_net->loadUserInfo(kMac1, 8);
        QVERIFY(got.wait(10000));
        disconnect(m_net.get(), &NetworkManager::gotUserInfo, this, nullptr);
        QCOMPARE(got.at(0).at(0).toBool(), true);
        QCOMPARE(got.at(0).at(1).toString(), kMac1);
        QCOMPARE(seen.username, QStringLiteral("finn"));
        QCOMPARE(seen.lastName, QStringLiteral("Field"));
        QVERIFY(called(*m_sim, "user/8", "GET", true));
    }

    void registration()
    {
        QSignalSpy registered(m_net.get(), &NetworkManager::usbDeviceRegistered);
        QHash<NetworkManager::DataType, QVariant> d1{{NetworkManager::MacAddressKey, kMac1},
                                                    {NetworkManager::FirmwareRevisionKey, "1.5.30"}};
        QHash<NetworkManager::DataType, QVariant> d2{{NetworkManager::MacAddressKey, kMac2},
                                                    {NetworkManager::FirmwareRevisionKey, "1.6.0"}};
        m_net->registerUsbDevices({d1, d2}, QStringLiteral("Default place"));
        QTRY_COMPARE_WITH_TIMEOUT(registered.count(), 2, 10000);
        QHash<QString, QList<QVariant>> byMac;
        for (const QList<QVariant> &args : registered)
            byMac.insert(args.at(0).toString(), args);
        QCOMPARE(byMac.value(kMac1).at(1).toBool(), true);
        QCOMPARE(byMac.value(kMac1).at(2).toBool(), true); // activated
        const UrlData offer = byMac.value(kMac1).at(4).value<UrlData>();
        QCOMPARE(offer.type, -1);
        QVERIFY(offer.link.endsWith(QStringLiteral("tamo.dfu")));
        QVERIFY(!offer.signature.isEmpty());
        QCOMPARE(byMac.value(kMac2).at(2).toBool(), false);
        QVERIFY(byMac.value(kMac2).at(4).value<UrlData>().link.isEmpty()); // not older: no offer

        const QJsonArray regs = m_sim->actions("registrations");
        QCOMPARE(regs.size(), 2);
        for (const QJsonValue &v : regs) {
            const QJsonObject r = v.toObject();
            QCOMPARE(r.value("uuid").toString(), r.value("macAddress").toString());
            QCOMPARE(r.value("userId").toInt(), 7);
            QCOMPARE(r.value("location").toString(), QStringLiteral("Default place"));
            QCOMPARE(r.value("fwVersion").toString(), QLatin1String(r.value("macAddress").toString() == kMac1 ? "1.5.30" : "1.6.0"));
        }
        QCOMPARE(m_sim->requests("tamo_device_usb").size(), 2);
        QVERIFY(called(*m_sim, "tamo_device_usb", "POST", true));
    }

    void deviceLookup()
    {
        QSignalSpy info(m_net.get(), &NetworkManager::deviceInfoDownloaded);
        m_net->loadDevicesInfo({kMac1, QStringLiteral("AA:BB:CC:99:99:99")});
        QTRY_COMPARE_WITH_TIMEOUT(info.count(), 2, 10000);
        QHash<QString, QHash<NetworkManager::DataType, QVariant>> byMac;
        for (const QList<QVariant> &args : info) {
            QCOMPARE(args.at(0).toBool(), true);
            const auto hash = args.at(1).value<QHash<NetworkManager::DataType, QVariant>>();
            byMac.insert(hash.value(NetworkManager::MacAddressKey).toString(), hash);
        }
        const auto known = byMac.value(kMac1);
        QCOMPARE(known.value(NetworkManager::NameKey).toString(), QStringLiteral("T1"));
        QCOMPARE(known.value(NetworkManager::LabelKey).toString(), QStringLiteral("Desk"));
        QCOMPARE(known.value(NetworkManager::BrightnessKey).toInt(), 70);
        QCOMPARE(known.value(NetworkManager::UserIdKey).toInt(), 8);
        QCOMPARE(known.value(NetworkManager::HardwareRevisionKey).toString(), QStringLiteral("P2"));
        QCOMPARE(known.value(NetworkManager::LastPairedAtKey).toDateTime(),
                 QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC));
        const auto unknown = byMac.value(QStringLiteral("AA:BB:CC:99:99:99"));
        QVERIFY(unknown.value(NetworkManager::NameKey).toString().isEmpty());
        QVERIFY(!unknown.value(NetworkManager::LastPairedAtKey).toDateTime().isValid());
        QCOMPARE(unknown.value(NetworkManager::ToEraseKey).toBool(), false);

        // The JSON filter on "mac" goes out percent-encoded, without spaces.
        const QJsonArray reqs = m_sim->requests("tamo_device");
        QCOMPARE(reqs.size(), 2);
        QStringList filters;
        for (const QJsonValue &v : reqs) {
            const QUrl target(QStringLiteral("http://h") + v.toObject().value("target").toString());
            QVERIFY(v.toObject().value("target").toString().contains(QStringLiteral("where=%7B%22mac%22:%22")));
            filters.append(QUrlQuery(target).queryItemValue("where", QUrl::FullyDecoded));
            QCOMPARE(v.toObject().value("bearer").toBool(), true);
        }
        QVERIFY(filters.contains(QStringLiteral(R"({"mac":"AA:BB:CC:00:00:01"})")));
    }

    void deviceUpdate()
    {
        QSignalSpy updated(m_net.get(), &NetworkManager::deviceInfoUpdated);
        const QDateTime paired(QDate(2024, 6, 1), QTime(12, 0, 0, 250), Qt::UTC);
        m_net->updateDeviceInfo(kMac1, {"5001", "5002"}, {"6001"}, paired.toLocalTime(), "1.5.30", "Renamed",
                                "1.0.95 (Test OS)", "SN1", "P2", false, true);
        QVERIFY(updated.wait(10000));
        QCOMPARE(updated.at(0).at(0).toString(), kMac1);
        const auto values = updated.at(0).at(1).value<QHash<NetworkManager::DataType, QVariant>>();
        QCOMPARE(values.value(NetworkManager::NameKey).toString(), QStringLiteral("Renamed"));
        QCOMPARE(values.value(NetworkManager::LabelKey).toString(), QStringLiteral("Desk"));
        QCOMPARE(values.value(NetworkManager::LastPairedAtKey).toDateTime(), paired);

        QVERIFY(called(*m_sim, "account/tamo_device/AA:BB:CC:00:00:01", "PUT", true));
        const QJsonObject update = lastOf(m_sim->actions("deviceUpdates"));
        QVERIFY2(!update.isEmpty(), "no device update recorded");
        const QString text = QString::fromUtf8(QJsonDocument(update).toJson());
        QVERIFY2(text.contains(QStringLiteral("5002")) && text.contains(QStringLiteral("6001")), qPrintable(text));
    }

    void campaignEvent()
    {
        QSignalSpy ready(m_net.get(), &NetworkManager::deviceCampaignReady);
        m_net->loadDeviceCampaign(kMac1);
        QVERIFY(ready.wait(10000));
        QCOMPARE(ready.at(0).at(0).toBool(), true);
        const ContentsInfo info = ready.at(0).at(1).value<ContentsInfo>();
        QCOMPARE(info.eventId, 42);
        QCOMPARE(info.macAddress, kMac1);
        QCOMPARE(info.contentIds, (QStringList{"5001", "5002", "6001"}));
        QCOMPARE(info.defaultContentId, QStringLiteral("6001"));
        QCOMPARE(info.isUploaded, false);

        const QJsonObject req = lastOf(m_sim->requests("account/event/last"));
        const QJsonObject headers = req.value("headers").toObject();
        QCOMPARE(headers.value("X-Mac-Address").toString(), QStringLiteral("aa:bb:cc:00:00:01"));
        QCOMPARE(headers.value("X-Is-Desktop-App").toString(), QStringLiteral("true"));
        QCOMPARE(req.value("bearer").toBool(), true);
        const QUrlQuery query(QUrl(QStringLiteral("http://h") + req.value("target").toString()));
        QCOMPARE(query.queryItemValue("useMacAddress"), QStringLiteral("true"));
        const QDateTime stamp = QDateTime::fromString(query.queryItemValue("timestamp"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        QVERIFY(stamp.isValid());
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60);
    }

    void campaignContent()
    {
        QSignalSpy ready(m_net.get(), &NetworkManager::campaignInfoReady);
        m_net->loadCampaignContent(kMac1, 42);
        QVERIFY(ready.wait(10000));
        QCOMPARE(ready.at(0).at(0).toString(), kMac1);
        const auto images = ready.at(0).at(1).value<QHash<QString, UrlData>>();
        const auto shows = ready.at(0).at(2).value<QVector<SlideShowInfo>>();
        QVERIFY(images.contains("5001"));
        QCOMPARE(images.value("5001").type, int(ImageType));
        QCOMPARE(images.value("5002").type, int(GifType));
        QCOMPARE(images.value("5003").type, int(ImageType));
        QCOMPARE(shows.size(), 1);
        QCOMPARE(shows.at(0).uuid, QStringLiteral("6001"));
        QCOMPARE(shows.at(0).timeInterval, 5);
        QCOMPARE(shows.at(0).uuids, (QStringList{"5001", "5003", "5001"}));
        QCOMPARE(shows.at(0).chargingUuid, QStringLiteral("5002"));
        QVERIFY(called(*m_sim, "account/schedule_event/42/content", "GET", true));
        m_images = images;
    }

    void contentFiles()
    {
        QVERIFY(m_images.contains("5001"));
        QSignalSpy ready(m_net.get(), &NetworkManager::contentsReady);
        m_net->downloadContent(m_images.value("5001"));
        QVERIFY(ready.wait(10000));
        QCOMPARE(ready.at(0).at(0).toBool(), true);
        const ImageData data = ready.at(0).at(1).value<ImageData>();
        QCOMPARE(data.link, m_images.value("5001").link);
        QCOMPARE(data.type, int(ImageType));
        QCOMPARE(data.frames.size(), 1);
        QCOMPARE(data.frames.at(0).data, m_files.value("a.jpg"));
        QCOMPARE(data.frames.at(0).delay, 0);
        const QJsonObject req = lastOf(m_sim->requests());
        // The service checked the signature (it records file links without their query).
        QCOMPARE(req.value("path").toString(), QStringLiteral("files/") + QUrl(data.link).path().section('/', 2));
        QCOMPARE(req.value("status").toInt(), 200);
        QCOMPARE(req.value("bearer").toBool(), false);

        // A link with a wrong signature is refused; the item still names its file.
        UrlData forged = m_images.value("5001");
        forged.signature = QStringLiteral("expires=1&signature=00");
        m_net->downloadContent(forged);
        QVERIFY(ready.wait(10000));
        QCOMPARE(ready.at(1).at(0).toBool(), false);
        QCOMPARE(ready.at(1).at(1).value<ImageData>().link, forged.link);
        QCOMPARE(lastOf(m_sim->requests()).value("status").toInt(), 403);
    }

    void contentInfo()
    {
        QSignalSpy ready(m_net.get(), &NetworkManager::contentInfoReady);
        m_net->loadContentInfo(kMac1, {"5001", "5003", "6001"});
        QVERIFY(ready.wait(10000));
        QCOMPARE(ready.at(0).at(0).toBool(), true);
        QCOMPARE(ready.at(0).at(1).toString(), kMac1);
        const auto dates = ready.at(0).at(2).value<QMap<QDateTime, QString>>();
        QCOMPARE(dates.value(QDateTime(QDate(2024, 4, 2), QTime(8, 0), Qt::UTC)), QStringLiteral("5001"));
        QCOMPARE(dates.value(QDateTime(QDate(2024, 4, 2), QTime(8, 10), Qt::UTC)), QStringLiteral("5003"));
        const auto shows = ready.at(0).at(3).value<QMap<QString, QStringList>>();
        QVERIFY(shows.contains("6001"));

        const QJsonObject req = lastOf(m_sim->requests("account/content/device"));
        QCOMPARE(req.value("bearer").toBool(), true);
        const QUrl target(QStringLiteral("http://h") + req.value("target").toString());
        QCOMPARE(target.query(QUrl::FullyDecoded), QStringLiteral(R"(limit=1000&where={"uuid":[5001,5003,6001]})"));
    }

    void uploadStatus()
    {
        QSignalSpy sent(m_net.get(), &NetworkManager::uploadStatusSent);
        m_net->sendUploadStatus(kMac1, 42, SendUploadStatusRequest::Failed, QStringLiteral("slot full"));
        QVERIFY(sent.wait(10000));
        QCOMPARE(sent.at(0).at(0).toBool(), true);
        QCOMPARE(sent.at(0).at(1).toString(), kMac1);
        QCOMPARE(sent.at(0).at(2).value<SendUploadStatusRequest::Status>(), SendUploadStatusRequest::Failed);
        QVERIFY(called(*m_sim, "scheduled_event/42/log", "POST", true));
        const QJsonObject logged = lastOf(m_sim->actions("uploadStatus"));
        QCOMPARE(logged.value("status").toString(), QStringLiteral("failed"));
        QCOMPARE(logged.value("errorMessage").toString(), QStringLiteral("slot full"));
        QCOMPARE(logged.value("macAddress").toString(), kMac1);
    }

    void firmwareLookups()
    {
        QTemporaryDir folder;
        QSignalSpy files(m_net.get(), &NetworkManager::fileDownloaded);
        m_net->downloadFirmwareFile(folder.path(), true);
        QVERIFY(files.wait(10000));
        QCOMPARE(files.at(0).at(0).toBool(), true);
        QCOMPARE(QFileInfo(files.at(0).at(2).toString()).fileName(), QStringLiteral("tamo-installer.dfu"));
        const QJsonObject installation = lastOf(m_sim->requests("installation"));
        QCOMPARE(installation.value("target").toString(), QStringLiteral("/api/v1/installation?type=dfu"));
        QCOMPARE(installation.value("bearer").toBool(), true);

        m_net->downloadFirmwareFile(folder.path(), false);
        QVERIFY(files.wait(10000));
        QCOMPARE(files.at(1).at(0).toBool(), true);
        QVERIFY(called(*m_sim, "tamo_device_usb/upgrade", "GET", false));
    }

private:
    std::unique_ptr<CloudSim> m_sim;
    std::unique_ptr<NetworkManager> m_net;
    QMap<QString, QByteArray> m_files;
    QHash<QString, UrlData> m_images;
};

QTEST_MAIN(TestNetWire)
#include "tst_net_wire.moc"
