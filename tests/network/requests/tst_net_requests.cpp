// What the endpoints read from answers that the simulator never sends (keys
// missing or of the wrong kind, unknown formats, names with folders) and the
// optional parts of the update body. Missing keys never fail a parse; they give
// the defaults. The wire suite checks the ordinary answers against the service.
#include "JsonHelpers.h"
#include "UserInfo.h"
#include "requests/CampaignContentRequest.h"
#include "requests/ContentInfoRequest.h"
#include "requests/DeviceCampaignRequest.h"
#include "requests/DeviceInfoRequest.h"
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

class TestNetRequests : public QObject
{
    Q_OBJECT

private slots:
    void loginRecord()
    {
        Probe<LoginRequest> login;
        login.parseAnswer("{\"data\":{\"authToken\":\"a.b.c\",\"refreshToken\":\"r1\",\"fullname\":\"Ann Lee\","
            "\"dob\":\"1990-02-03T00:00:00.000Z\",\"role\":\"Company_Manager\",\"id\":11,\"username\":\"ignored\","
            "\"companyLogo\":{\"link\":\"https://files.test/logo.png\",\"signature\":\"s=1\"}}}");
        QCOMPARE(login.authToken(), QByteArray("a.b.c"));
        QCOMPARE(login.refreshToken(), QByteArray("r1"));
        std::unique_ptr<UserInfo> user(login.userRecord());
        QCOMPARE(user->fullname, QStringLiteral("Ann Lee"));
        QCOMPARE(user->dob, QDate(1990, 2, 3));
        QCOMPARE(user->role, QStringLiteral("Company_Manager")); // lowered by the facade only
        QVERIFY(user->username.isEmpty());                        // read by the user lookup only
        QCOMPARE(user->companyLogo, QUrl(QStringLiteral("https://files.test/logo.png?s=1")));

        for (const char *noRecord : {"{\"message\":\"ok\"}", "{\"data\":{}}"}) {
            Probe<LoginRequest> none;
            none.parseAnswer(noRecord);
            QVERIFY(none.userRecord() == nullptr);
        }
        Probe<LoginRequest> sparse;
        sparse.parseAnswer("{\"data\":{\"email\":\"a@b.test\",\"companyLogo\":{\"link\":\"https://files.test/l.png\"}}}");
        user.reset(sparse.userRecord());
        QCOMPARE(user->id, 0);
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
        QTest::newRow("no full stop") << QByteArray("{\"message\":\"Email or password is wrong\"}")
                                      << "Email or password is wrong";
        QTest::newRow("case differs") << QByteArray("{\"message\":\"user with email x doesn't exist.\"}")
                                      << "user with email x doesn't exist.";
    }

    void loginWording()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        Probe<LoginRequest> login;
        login.parseError(body);
        QCOMPARE(login.errorString(), text);
    }

    void userLookupFillsItsRecordOnlyFromAnObject()
    {
        Probe<UserInfoRequest> user;
        user.parseAnswer("{\"data\":{\"username\":\"boek\",\"dob\":\"2000-12-31T23:00:00.000Z\","
            "\"companyLogo\":{\"link\":\"l\",\"signature\":\"s\"}}}");
        QCOMPARE(user.record()->username, QStringLiteral("boek"));
        QCOMPARE(user.record()->dob, QDate(2000, 12, 31));
        QVERIFY(user.record()->companyLogo.isEmpty()); // the login's field only
        Probe<UserInfoRequest> none;
        none.parseAnswer("{\"data\":[{\"firstName\":\"x\"}]}");
        QVERIFY(none.record()->firstName.isEmpty());
    }

    void registrationWithMissingParts()
    {
        Probe<RegisterUsbDeviceRequest> empty;
        empty.setLocation(QStringLiteral("sent"));
        empty.parseAnswer("{\"data\":{}}");
        QVERIFY(!empty.isActivated());
        QCOMPARE(empty.location(), QStringLiteral("sent")); // the location sent stays
        Probe<RegisterUsbDeviceRequest> partial;
        partial.parseAnswer("{\"data\":{\"activated\":true,\"firmware\":{\"link\":\"x\"}}}");
        QVERIFY(partial.isActivated());
        QCOMPARE(partial.firmware().link, QStringLiteral("x"));
        QVERIFY(partial.firmware().signature.isEmpty());
        QCOMPARE(partial.firmware().type, int(UndefinedType));
    }

    void deviceLookupReadsTheFirstRowOnlyWhenCounted()
    {
        Probe<DeviceInfoRequest> known;
        known.parseAnswer("{\"count\":2,\"rows\":[{\"toErase\":true,\"lastPairedAt\":\"2020-01-02T03:04:05.678Z\"},"
                          "{\"toErase\":false}]}");
        QVERIFY(known.toErase());
        QCOMPARE(known.lastPairedAt(), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5, 678), Qt::UTC));
        Probe<DeviceInfoRequest> unknown;
        unknown.parseAnswer("{\"count\":0,\"rows\":[{\"name\":\"ignored\",\"toErase\":true}]}");
        QVERIFY(unknown.name().isEmpty());
        QVERIFY(!unknown.toErase());
        Probe<DeviceInfoRequest> noRows;
        noRows.parseAnswer("{\"count\":2}");
        QVERIFY(noRows.name().isEmpty());
    }

    void updateResultsAreTheAnswersOnly()
    {
        Probe<UpdateDeviceInfoRequest> update;
        update.setName(QStringLiteral("sent name"));
        QVERIFY(update.name().isEmpty());
        update.parseAnswer("{\"data\":{\"name\":\"N2\",\"userId\":12}}");
        QCOMPARE(update.name(), QStringLiteral("N2"));
        QCOMPARE(update.userId(), 12);
    }

    void updateBodyCarriesOnlyWhatIsSet()
    {
        UpdateDeviceInfoRequest update;
        update.setMacAddress(QStringLiteral("AA:BB"));
        update.setErased(false);
        QCOMPARE(bytesToJsonObject(update.body()).keys(), (QStringList{"mac", "mobilePlatform"}));
        update.setWithIds(true);
        update.setTamoIds({"10", "9007199254740991", "x"});
        update.setLastPairedAt(QDateTime(QDate(2019, 7, 3), QTime(12, 25, 30, 123), Qt::UTC));
        update.setErased(true);
        const QJsonObject body = bytesToJsonObject(update.body());
        QCOMPARE(body.value("mobilePlatform").toString(), QStringLiteral("usb"));
        QCOMPARE(body.value("lastPairedAt").toString(), QStringLiteral("2019-07-03T12:25:30.123Z"));
        QCOMPARE(body.value("erased").toBool(), true);
        const QJsonArray ids = body.value("tamoId").toArray();
        QCOMPARE(jsonInteger(ids.at(1)), Q_INT64_C(9007199254740991));
        QCOMPARE(jsonInteger(ids.at(2)), 0); // not a number
        QCOMPARE(body.value("postId").toArray().size(), 0);
    }

    void campaignEvents_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint64>("eventId");
        QTest::addColumn<QStringList>("contentIds");
        QTest::addColumn<QString>("defaultId");
        QTest::newRow("ids that are no numbers")
            << QByteArray("{\"data\":{\"campaignEvent\":{\"id\":17,\"isUploaded\":true,\"defaultContentId\":9,"
                          "\"contentIds\":[5,\"x\"]}}}")
            << qint64(17) << QStringList{"5", "0"} << "9";
        QTest::newRow("empty event") << QByteArray("{\"data\":{\"campaignEvent\":{}}}") << qint64(-1) << QStringList()
                                     << "";
        QTest::newRow("no content ids") << QByteArray("{\"data\":{\"campaignEvent\":{\"id\":17}}}") << qint64(17)
                                        << QStringList() << "0";
        QTest::newRow("no id") << QByteArray("{\"data\":{\"campaignEvent\":{\"contentIds\":[1]}}}") << qint64(-1)
                               << QStringList() << "";
    }

    void campaignEvents()
    {
        QFETCH(QByteArray, answer);
        QFETCH(qint64, eventId);
        QFETCH(QStringList, contentIds);
        QFETCH(QString, defaultId);
        Probe<DeviceCampaignRequest> campaign;
        campaign.setMacAddress(QStringLiteral("AA"));
        campaign.parseAnswer(answer);
        QCOMPARE(campaign.contentsInfo().eventId, eventId);
        QCOMPARE(campaign.contentsInfo().contentIds, contentIds);
        QCOMPARE(campaign.contentsInfo().defaultContentId, defaultId);
        QCOMPARE(campaign.contentsInfo().macAddress, QStringLiteral("AA"));
        QCOMPARE(campaign.contentsInfo().isUploaded, answer.contains("isUploaded"));
    }

    void campaignContent()
    {
        Probe<CampaignContentRequest> content;
        content.parseAnswer("{\"data\":{"
            "\"tamos\":["
              "{\"uuid\":6,\"imageFormat\":\"image/gif\",\"asset\":{\"link\":\"https://f.test/6.gif\"}},"
              "{\"uuid\":7,\"imageFormat\":\"image/bmp\",\"asset\":{\"link\":\"https://f.test/7.bmp\",\"signature\":\"s7\"}},"
              "{\"uuid\":8,\"imageFormat\":\"image/png\"},"
              "{\"uuid\":11,\"imageFormat\":\"image/webp\",\"asset\":{\"link\":\"https://f.test/11.webp\"}},"
              "{}"
            "],"
            "\"posts\":["
              "{\"uuid\":9,\"properties\":\"{\\\"timeInterval\\\":5}\",\"tamoId\":[3,4,3,99],\"chargingTamoId\":4,"
               "\"tamos\":[{\"id\":3,\"uuid\":30,\"imageFormat\":\"image/jfif\",\"asset\":{\"link\":\"https://f.test/30.jpg\",\"signature\":\"a\"}},"
                        "{\"id\":4,\"uuid\":40,\"imageFormat\":\"image/jpg\",\"asset\":{\"link\":\"https://f.test/40.jpg\",\"signature\":\"b\"}}]},"
              "{\"uuid\":10,\"properties\":\"not json\",\"tamoId\":[]}"
            "]}}");
        const QHash<QString, UrlData> images = content.imagesData();
        QCOMPARE(images.keys().size(), 6);
        QCOMPARE(images.value("6").type, int(GifType));
        QCOMPARE(images.value("11").type, int(ImageType)); // WebP: a still
        QVERIFY(images.value("6").signature.isEmpty());
        // An unknown format is kept with its name, so that a campaign can say why it fails.
        QCOMPARE(images.value("7").type, int(UndefinedType));
        QCOMPARE(images.value("7").format, QStringLiteral("image/bmp"));
        QVERIFY(images.value("8").link.isEmpty()); // no asset: empty link
        QCOMPARE(images.value("30").type, int(ImageType));
        QCOMPARE(images.value("40").link, QStringLiteral("https://f.test/40.jpg"));

        const QVector<SlideShowInfo> shows = content.slideShows();
        QCOMPARE(shows.size(), 2);
        QCOMPARE(shows.at(0).timeInterval, 5);
        QCOMPARE(shows.at(0).uuids, (QStringList{"30", "40", "30", "99"})); // unmatched ids stay
        QCOMPARE(shows.at(0).chargingUuid, QStringLiteral("40"));
        QCOMPARE(shows.at(1).timeInterval, 10);
        QVERIFY(shows.at(1).chargingUuid.isEmpty());
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
        QCOMPARE(dates.size(), 2); // a later row with the same date wins; no date, no entry
        QCOMPARE(dates.value(QDateTime(QDate(2020, 1, 1), QTime(10, 0), Qt::UTC)), QStringLiteral("6"));
        QCOMPARE(dates.value(QDateTime(QDate(2020, 2, 1), QTime(10, 0, 0, 500), Qt::UTC)), QStringLiteral("9"));
        const QMap<QString, QStringList> shows = info.ssContentUuids();
        QCOMPARE(shows.value("9"), (QStringList{"30", "40"}));
        QVERIFY(shows.contains("11"));
        QVERIFY(!shows.contains(QString()));
    }

    void firmwareFileNames_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name");
        QTest::newRow("link without suffix")
            << QByteArray("{\"data\":{\"firmware\":{\"link\":\"https://f.test/fw/latest\",\"signature\":\"s\"}}}")
            << "https://f.test/fw/latest?s" << "latest";
        QTest::newRow("link ending in a slash")
            << QByteArray("{\"data\":{\"firmware\":{\"link\":\"https://f.test/fw/\",\"signature\":\"s\"}}}")
            << "https://f.test/fw/?s" << "firmware.dfu";
        QTest::newRow("no firmware") << QByteArray("{\"data\":{}}") << "" << "";
        QTest::newRow("installers: first active, name without folders")
            << QByteArray("{\"data\":["
                          "{\"active\":false,\"name\":\"old.dfu\",\"link\":{\"link\":\"https://f.test/old.dfu\",\"signature\":\"o\"}},"
                          "{\"name\":\"none.dfu\"},"
                          "{\"active\":true,\"name\":\"../../new.dfu\",\"link\":{\"link\":\"https://f.test/new.dfu\",\"signature\":\"n\"}},"
                          "{\"active\":true,\"name\":\"later.dfu\",\"link\":{\"link\":\"https://f.test/l.dfu\",\"signature\":\"l\"}}]}")
            << "https://f.test/new.dfu?n" << "new.dfu";
        QTest::newRow("installers: none active") << QByteArray("{\"data\":[{\"active\":false,\"name\":\"a\"}]}") << ""
                                                 << "";
    }

    void firmwareFileNames()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, url);
        QFETCH(QString, name);
        std::unique_ptr<FirmwareLookupRequest> lookup;
        if (answer.contains("[")) {
            auto *installer = new Probe<GetInstallerRequest>(int(GetInstallerRequest::Dfu));
            installer->parseAnswer(answer);
            lookup.reset(installer);
        } else {
            auto *dfu = new Probe<GetDfuRequest>;
            dfu->parseAnswer(answer);
            lookup.reset(dfu);
        }
        QCOMPARE(lookup->fileUrl(), QUrl(url));
        QCOMPARE(lookup->fileName(), name);
    }
};

QTEST_GUILESS_MAIN(TestNetRequests)
#include "tst_net_requests.moc"
