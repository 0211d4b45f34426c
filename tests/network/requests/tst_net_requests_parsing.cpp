// How each endpoint reads its answer, with keys present, missing or of the
// wrong kind. Missing keys never fail a parse; they give the defaults.
#include "UserInfo.h"
#include "requests/CampaignContentRequest.h"
#include "requests/CompanyInfoRequest.h"
#include "requests/ContentInfoRequest.h"
#include "requests/DeviceCampaignRequest.h"
#include "requests/DeviceInfoRequest.h"
#include "requests/FirmwareInfoRequest.h"
#include "requests/GetDfuRequest.h"
#include "requests/GetInstallerRequest.h"
#include "requests/LoginRequest.h"
#include "requests/RegisterUsbDeviceRequest.h"
#include "requests/UpdateDeviceInfoRequest.h"
#include "requests/UserInfoRequest.h"

#include <QtTest>

#include <memory>

// The parsers are protected: these probes open them to the test. (Answers are
// plain literals: the meta-object compiler misreads some raw string literals.)
template <typename R>
struct Probe : R
{
    using R::R;
    using R::parseAnswer;
    using R::parseError;
};

class TestNetRequestsParsing : public QObject
{
    Q_OBJECT

private slots:
    void loginAnswer()
    {
        Probe<LoginRequest> login;
        login.parseAnswer("{\"data\":{\"authToken\":\"a.b.c\",\"refreshToken\":\"r1\",\"firstName\":\"Ann\",\"lastName\":\"Lee\","
            "\"fullname\":\"Ann Lee\",\"companyId\":3,\"email\":\"ann@x.test\",\"dob\":\"1990-02-03T00:00:00.000Z\","
            "\"role\":\"Company_Manager\",\"id\":11,\"username\":\"ignored\","
            "\"companyLogo\":{\"link\":\"https://files.test/logo.png\",\"signature\":\"s=1\"}}}");
        QCOMPARE(login.authToken(), QByteArray("a.b.c"));
        QCOMPARE(login.refreshToken(), QByteArray("r1"));
        std::unique_ptr<UserInfo> user(login.userRecord());
        QVERIFY(user);
        QCOMPARE(user->firstName, QStringLiteral("Ann"));
        QCOMPARE(user->fullname, QStringLiteral("Ann Lee"));
        QCOMPARE(user->companyId, 3);
        QCOMPARE(user->id, 11);
        QCOMPARE(user->dob, QDate(1990, 2, 3));
        QCOMPARE(user->role, QStringLiteral("Company_Manager"));
        QVERIFY(user->username.isEmpty()); // read by the user lookup only
        QCOMPARE(user->companyLogo, QUrl(QStringLiteral("https://files.test/logo.png?s=1")));
    }

    void loginAnswerWithMissingParts()
    {
        Probe<LoginRequest> noData;
        noData.parseAnswer("{\"message\":\"ok\"}");
        QVERIFY(noData.userRecord() == nullptr);
        QVERIFY(noData.authToken().isEmpty());

        Probe<LoginRequest> emptyData;
        emptyData.parseAnswer("{\"data\":{}}");
        QVERIFY(emptyData.userRecord() == nullptr);

        Probe<LoginRequest> sparse;
        sparse.parseAnswer("{\"data\":{\"email\":\"a@b.test\",\"companyLogo\":{\"link\":\"https://files.test/l.png\"}}}");
        std::unique_ptr<UserInfo> user(sparse.userRecord());
        QVERIFY(user);
        QCOMPARE(user->id, 0);
        QCOMPARE(user->companyId, 0);
        QVERIFY(!user->dob.isValid());
        QVERIFY(user->companyLogo.isEmpty()); // a link without signature is no address
    }

    void loginWording_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown user") << QByteArray("{\"message\":\"User with email x@y.test doesn't exist.\"}")
                                      << "Email address does not exist. Please re-enter.";
        QTest::newRow("unknown user, more text")
            << QByteArray("{\"message\":\"Oops: User with email x@y.test doesn't exist. Sorry\"}")
            << "Email address does not exist. Please re-enter.";
        QTest::newRow("wrong password") << QByteArray("{\"message\":\"Email or password is wrong.\"}")
                                        << "Email and PW do not match. Please re-enter.";
        QTest::newRow("no full stop") << QByteArray("{\"message\":\"Email or password is wrong\"}")
                                      << "Email or password is wrong";
        QTest::newRow("case differs") << QByteArray("{\"message\":\"user with email x doesn't exist.\"}")
                                      << "user with email x doesn't exist.";
        QTest::newRow("several") << QByteArray("{\"a\":\"one\",\"b\":[\"two\"]}") << "one\ntwo";
        QTest::newRow("html") << QByteArray("<html>502</html>") << "";
    }

    void loginWording()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        Probe<LoginRequest> login;
        login.parseError(body);
        QCOMPARE(login.errorString(), text);
    }

    void userLookup()
    {
        Probe<UserInfoRequest> user;
        user.parseAnswer("{\"data\":{\"firstName\":\"Bo\",\"lastName\":\"Ek\",\"username\":\"boek\",\"id\":9,\"companyId\":2,"
            "\"role\":\"user\",\"dob\":\"2000-12-31T23:00:00.000Z\",\"companyLogo\":{\"link\":\"l\",\"signature\":\"s\"}}}");
        QCOMPARE(user.record()->username, QStringLiteral("boek"));
        QCOMPARE(user.record()->lastName, QStringLiteral("Ek"));
        QCOMPARE(user.record()->id, 9);
        QCOMPARE(user.record()->dob, QDate(2000, 12, 31));
        QVERIFY(user.record()->companyLogo.isEmpty());
        std::unique_ptr<UserInfo> taken(user.takeRecord());
        QVERIFY(taken);
        QVERIFY(user.record() == nullptr);

        Probe<UserInfoRequest> none;
        none.parseAnswer("{\"data\":[]}");
        QVERIFY(none.record()->firstName.isEmpty());
        QCOMPARE(none.record()->id, 0);
    }

    void companyTitle()
    {
        Probe<CompanyInfoRequest> company;
        company.parseAnswer("{\"data\":{\"title\":\"Acme\"}}");
        QCOMPARE(company.title(), QStringLiteral("Acme"));
        Probe<CompanyInfoRequest> none;
        none.parseAnswer("{}");
        QVERIFY(none.title().isEmpty());
    }

    void registration()
    {
        Probe<RegisterUsbDeviceRequest> reg;
        reg.setLocation(QStringLiteral("sent"));
        reg.parseAnswer("{\"data\":{\"activated\":true,\"location\":\"Lobby\","
            "\"firmware\":{\"link\":\"https://files.test/fw.dfu\",\"signature\":\"sig\"}}}");
        QVERIFY(reg.isActivated());
        QCOMPARE(reg.location(), QStringLiteral("Lobby"));
        QCOMPARE(reg.firmware().type, -1);
        QCOMPARE(reg.firmware().link, QStringLiteral("https://files.test/fw.dfu"));
        QCOMPARE(reg.firmware().signature, QStringLiteral("sig"));

        Probe<RegisterUsbDeviceRequest> empty;
        empty.setLocation(QStringLiteral("sent"));
        empty.parseAnswer("{\"data\":{}}");
        QVERIFY(!empty.isActivated());
        QCOMPARE(empty.location(), QStringLiteral("sent"));
        QVERIFY(empty.firmware().link.isEmpty());

        Probe<RegisterUsbDeviceRequest> partial;
        partial.parseAnswer("{\"data\":{\"activated\":false,\"firmware\":{\"link\":\"x\"}}}");
        QCOMPARE(partial.firmware().link, QStringLiteral("x"));
        QVERIFY(partial.firmware().signature.isEmpty());
    }

    void deviceLookup()
    {
        Probe<DeviceInfoRequest> info;
        info.parseAnswer("{\"count\":1,\"rows\":[{\"name\":\"T1\",\"label\":\"L\",\"location\":\"Hall\","
            "\"lastPairedAt\":\"2020-01-02T03:04:05.678Z\",\"userId\":4,\"brightness\":80,\"toErase\":true,"
            "\"firmwareRevision\":\"1.5.30\",\"hardwareRevision\":\"P2\"}]}");
        QCOMPARE(info.name(), QStringLiteral("T1"));
        QCOMPARE(info.lastPairedAt(), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5, 678), Qt::UTC));
        QCOMPARE(info.userId(), 4);
        QCOMPARE(info.brightness(), 80);
        QVERIFY(info.toErase());
        QCOMPARE(info.hardwareRevision(), QStringLiteral("P2"));

        Probe<DeviceInfoRequest> unknown;
        unknown.parseAnswer("{\"count\":0,\"rows\":[{\"name\":\"ignored\"}]}");
        QVERIFY(unknown.name().isEmpty());
        QVERIFY(!unknown.lastPairedAt().isValid());
        QCOMPARE(unknown.userId(), 0);
        QVERIFY(!unknown.toErase());

        Probe<DeviceInfoRequest> noRows;
        noRows.parseAnswer("{\"count\":2}");
        QVERIFY(noRows.name().isEmpty());
    }

    void updateAnswer()
    {
        Probe<UpdateDeviceInfoRequest> update;
        update.setName(QStringLiteral("sent name"));
        QVERIFY(update.name().isEmpty()); // results are the answer's only
        update.parseAnswer("{\"data\":{\"label\":\"L2\",\"name\":\"N2\",\"location\":\"Loc\",\"userId\":12,"
            "\"lastPairedAt\":\"2021-05-06T07:08:09.010Z\"}}");
        QCOMPARE(update.label(), QStringLiteral("L2"));
        QCOMPARE(update.name(), QStringLiteral("N2"));
        QCOMPARE(update.userId(), 12);
        QVERIFY(update.lastPairedAt().isValid());
    }

    void campaignEvent()
    {
        Probe<DeviceCampaignRequest> campaign;
        campaign.setMacAddress(QStringLiteral("AA"));
        campaign.parseAnswer("{\"data\":{\"campaignEvent\":{\"id\":17,\"isUploaded\":true,"
            "\"defaultContentId\":9,\"contentIds\":[5,9,12,\"x\"]}}}");
        const ContentsInfo info = campaign.contentsInfo();
        QCOMPARE(info.eventId, 17);
        QCOMPARE(info.macAddress, QStringLiteral("AA"));
        QVERIFY(info.isUploaded);
        QCOMPARE(info.defaultContentId, QStringLiteral("9"));
        QCOMPARE(info.contentIds, (QStringList{"5", "9", "12", "0"}));
    }

    void campaignEventMissingParts()
    {
        Probe<DeviceCampaignRequest> empty;
        empty.parseAnswer("{\"data\":{\"campaignEvent\":{}}}");
        QCOMPARE(empty.contentsInfo().eventId, -1);
        QVERIFY(empty.contentsInfo().contentIds.isEmpty());

        Probe<DeviceCampaignRequest> noIds;
        noIds.parseAnswer("{\"data\":{\"campaignEvent\":{\"id\":17}}}");
        QCOMPARE(noIds.contentsInfo().eventId, 17);
        QVERIFY(noIds.contentsInfo().contentIds.isEmpty());
        QCOMPARE(noIds.contentsInfo().defaultContentId, QStringLiteral("0"));
        QVERIFY(!noIds.contentsInfo().isUploaded);

        Probe<DeviceCampaignRequest> noEvent;
        noEvent.parseAnswer("{\"data\":{\"campaignEvent\":{\"isUploaded\":true,\"contentIds\":[1]}}}");
        QCOMPARE(noEvent.contentsInfo().eventId, -1);
        QVERIFY(noEvent.contentsInfo().contentIds.isEmpty());
    }

    void campaignContent()
    {
        Probe<CampaignContentRequest> content;
        content.parseAnswer("{\"data\":{"
            "\"tamos\":["
              "{\"uuid\":5,\"imageFormat\":\"image/jpeg\",\"asset\":{\"link\":\"https://f.test/5.jpg\",\"signature\":\"s5\"}},"
              "{\"uuid\":6,\"imageFormat\":\"image/gif\",\"asset\":{\"link\":\"https://f.test/6.gif\"}},"
              "{\"uuid\":7,\"imageFormat\":\"image/bmp\",\"asset\":{\"link\":\"https://f.test/7.bmp\",\"signature\":\"s7\"}},"
              "{\"uuid\":8,\"imageFormat\":\"image/png\"},"
              "{}"
            "],"
            "\"posts\":["
              "{\"uuid\":9,\"properties\":\"{\\\"timeInterval\\\":5}\",\"tamoId\":[3,4,3,99],\"chargingTamoId\":4,"
               "\"tamos\":[{\"id\":3,\"uuid\":30,\"imageFormat\":\"image/jfif\",\"asset\":{\"link\":\"https://f.test/30.jpg\",\"signature\":\"a\"}},"
                        "{\"id\":4,\"uuid\":40,\"imageFormat\":\"image/jpg\",\"asset\":{\"link\":\"https://f.test/40.jpg\",\"signature\":\"b\"}}]},"
              "{\"uuid\":10,\"properties\":\"\",\"tamoId\":[]}"
            "]}}");
        const QHash<QString, UrlData> images = content.imagesData();
        QCOMPARE(images.value("5").type, int(ImageType));
        QCOMPARE(images.value("5").signature, QStringLiteral("s5"));
        QCOMPARE(images.value("6").type, int(GifType));
        QVERIFY(images.value("6").signature.isEmpty());
        QVERIFY(!images.contains("7")); // unknown format: skipped
        QVERIFY(images.contains("8"));  // no asset: empty link
        QVERIFY(images.value("8").link.isEmpty());
        QCOMPARE(images.value("30").link, QStringLiteral("https://f.test/30.jpg"));
        QCOMPARE(images.value("40").type, int(ImageType));

        const QVector<SlideShowInfo> shows = content.slideShows();
        QCOMPARE(shows.size(), 2);
        QCOMPARE(shows.at(0).uuid, QStringLiteral("9"));
        QCOMPARE(shows.at(0).timeInterval, 5);
        QCOMPARE(shows.at(0).uuids, (QStringList{"30", "40", "30", "99"}));
        QCOMPARE(shows.at(0).chargingUuid, QStringLiteral("40"));
        QCOMPARE(shows.at(1).timeInterval, 10);
        QVERIFY(shows.at(1).uuids.isEmpty());
        QVERIFY(shows.at(1).chargingUuid.isEmpty());
    }

    void campaignContentWithoutData()
    {
        Probe<CampaignContentRequest> content;
        content.parseAnswer("{\"data\":{}}");
        QVERIFY(content.imagesData().isEmpty());
        QVERIFY(content.slideShows().isEmpty());
        content.parseAnswer("{\"data\":{\"posts\":[{\"uuid\":1,\"properties\":\"not json\"}]}}");
        QCOMPARE(content.slideShows().size(), 1);
        QCOMPARE(content.slideShows().at(0).timeInterval, 10);
    }

    void contentInfo()
    {
        Probe<ContentInfoRequest> info;
        info.parseAnswer("{\"rows\":["
            "{\"uuid\":5,\"createdAt\":\"2020-01-01T10:00:00.000Z\",\"type\":\"tamo\"},"
            "{\"uuid\":6,\"createdAt\":\"2020-01-01T10:00:00.000Z\"},"
            "{\"uuid\":7,\"createdAt\":\"not a date\"},"
            "{\"uuid\":9,\"createdAt\":\"2020-02-01T10:00:00.500Z\",\"type\":\"post\",\"post\":{\"tamos\":[{\"uuid\":30},{\"uuid\":40}]}},"
            "{\"uuid\":11,\"type\":\"post\"}"
            "]}");
        const QMap<QDateTime, QString> dates = info.uuidsData();
        QCOMPARE(dates.size(), 2);
        QCOMPARE(dates.value(QDateTime(QDate(2020, 1, 1), QTime(10, 0), Qt::UTC)), QStringLiteral("6"));
        QCOMPARE(dates.value(QDateTime(QDate(2020, 2, 1), QTime(10, 0, 0, 500), Qt::UTC)), QStringLiteral("9"));
        const QMap<QString, QStringList> shows = info.ssContentUuids();
        QCOMPARE(shows.value("9"), (QStringList{"30", "40"}));
        QVERIFY(shows.contains("11"));
        QVERIFY(shows.value("11").isEmpty());
        QVERIFY(!shows.contains(QString()));

        Probe<ContentInfoRequest> none;
        none.parseAnswer("{}");
        QVERIFY(none.uuidsData().isEmpty());
        QVERIFY(none.ssContentUuids().isEmpty());
    }

    void firmwareAnswers()
    {
        Probe<FirmwareInfoRequest> fw;
        fw.parseAnswer("{\"data\":{\"minFWVersion\":\"1.5.28\"}}");
        QCOMPARE(fw.minFwVersion(), QStringLiteral("1.5.28"));
        Probe<FirmwareInfoRequest> none;
        none.parseAnswer("{\"data\":{}}");
        QVERIFY(none.minFwVersion().isEmpty());

        Probe<GetDfuRequest> dfu;
        dfu.parseAnswer("{\"data\":{\"firmware\":{\"link\":\"https://f.test/fw/tamo_1.5.30.dfu\",\"signature\":\"s=1\"}}}");
        QCOMPARE(dfu.fileUrl(), QUrl(QStringLiteral("https://f.test/fw/tamo_1.5.30.dfu?s=1")));
        QCOMPARE(dfu.fileName(), QStringLiteral("tamo_1.5.30.dfu"));
        Probe<GetDfuRequest> noDot;
        noDot.parseAnswer("{\"data\":{\"firmware\":{\"link\":\"https://f.test/fw/latest\",\"signature\":\"s\"}}}");
        QCOMPARE(noDot.fileName(), QStringLiteral("latest"));
        Probe<GetDfuRequest> noFirmware;
        noFirmware.parseAnswer("{\"data\":{}}");
        QVERIFY(noFirmware.fileUrl().isEmpty());
        Probe<GetDfuRequest> slashEnd;
        slashEnd.parseAnswer("{\"data\":{\"firmware\":{\"link\":\"https://f.test/fw/\",\"signature\":\"s\"}}}");
        QCOMPARE(slashEnd.fileName(), QStringLiteral("firmware.dfu"));
    }

    void installerList()
    {
        Probe<GetInstallerRequest> installer(int(GetInstallerRequest::Dfu));
        installer.parseAnswer("{\"data\":["
            "{\"active\":false,\"name\":\"old.dfu\",\"link\":{\"link\":\"https://f.test/old.dfu\",\"signature\":\"o\"}},"
            "{\"name\":\"none.dfu\"},"
            "{\"active\":true,\"name\":\"../../new.dfu\",\"link\":{\"link\":\"https://f.test/new.dfu\",\"signature\":\"n\"}},"
            "{\"active\":true,\"name\":\"later.dfu\",\"link\":{\"link\":\"https://f.test/later.dfu\",\"signature\":\"l\"}}]}");
        QCOMPARE(installer.fileName(), QStringLiteral("new.dfu"));
        QCOMPARE(installer.fileUrl(), QUrl(QStringLiteral("https://f.test/new.dfu?n")));

        Probe<GetInstallerRequest> inactive(int(GetInstallerRequest::Dfu));
        inactive.parseAnswer("{\"data\":[{\"active\":false,\"name\":\"a\"}]}");
        QVERIFY(inactive.fileName().isEmpty());
        QVERIFY(inactive.fileUrl().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNetRequestsParsing)
#include "tst_net_requests_parsing.moc"
