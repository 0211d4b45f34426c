// The application controller with its real window, devices manager and cloud
// client: logging in and out against the cloud simulator over HTTPS with the
// publishing session a login starts, the express path's page manager, the
// Yes/No question that guards closing and logging out while simulated devices
// are busy, closing while a device writes its firmware, and the confirmation
// an express upgrade ends with.
#include "CloudSim.h"
#include "ContentsChef.h"
#include "DevSim.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "DfuPageManager.h"
#include "DeviceListDelegate.h"
#include "ImageBytes.h"
#include "Limits.h"
#include "LoginPage.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "NamedChild.h"
#include "PublishingSession.h"
#include "SelfSignedCertificate.h"
#include "Timings.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QJsonObject fixture()
{
    return QJsonObject{
        {"minFWVersion", "1.5.28"},
        {"companies", QJsonArray{QJsonObject{{"id", 3}, {"title", "Acme Displays"}, {"logo", "logo.png"}}}},
        {"users", QJsonArray{QJsonObject{{"id", 7}, {"email", "op@acme.test"}, {"password", "Op-Pass-1"},
                                         {"role", "company_manager"}, {"companyId", 3}, {"firstName", "Olga"},
                                         {"lastName", "Tester"}}}},
    };
}

// Answers the next modal message box with a key or a button, and remembers it.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(std::function<void(QMessageBox *)> answer)
        : m_answer(std::move(answer))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || m_answered)
                return;
            m_answered = true;
            m_title = box->windowTitle();
            m_text = box->text();
            m_answer(box);
        });
        m_timer.start(20);
    }
    bool answered() const { return m_answered; }
    QString title() const { return m_title; }
    QString text() const { return m_text; }

private:
    std::function<void(QMessageBox *)> m_answer;
    QTimer m_timer;
    bool m_answered = false;
    QString m_title;
    QString m_text;
};

std::function<void(QMessageBox *)> press(QMessageBox::StandardButton button)
{
    return [button](QMessageBox *box) { box->button(button)->click(); };
}

QString pageShown(const MainApp &app)
{
    return namedChild<QStackedWidget>(app.window(), "stackedWidget")->currentWidget()->objectName();
}

} // namespace

class TestController : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CloudSim> m_cloud;

    void typeAndLogin(MainApp &app, const QString &password)
    {
        namedChild<QLineEdit>(app.window(), "emailLineEdit")->setText(QStringLiteral("op@acme.test"));
        namedChild<QLineEdit>(app.window(), "passLineEdit")->setText(password);
        // The express page has a "Login" button of the same name.
        QTest::mouseClick(namedChild<QPushButton>(app.window()->loginPage(), "loginButton"), Qt::LeftButton);
    }

    // Starts the express path with one simulated device and waits until its
    // slow reading keeps the devices manager busy.
    static bool busyOnTheExpressPath(MainApp &app)
    {
        app.slotDfuPage();
        QDeadlineTimer deadline(15000);
        while (app.devicesManager()->isIdle() && !deadline.hasExpired())
            QTest::qWait(5);
        return !app.devicesManager()->isIdle();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(makeSelfSignedCertificate(m_dir.path()));
        // Read once, when the first cloud client is made.
        qputenv("TAMO_CA_CERTS", m_dir.filePath(QStringLiteral("localhost.crt")).toUtf8());
        m_cloud = std::make_unique<CloudSim>(
            fixture(),
            QStringList{"--tls-cert", m_dir.filePath("localhost.crt"), "--tls-key", m_dir.filePath("localhost.key"),
                        "--latency-ms", "300"},
            QMap<QString, QByteArray>{{"logo.png", imageBytes(QSize(80, 40), QColor(0, 187, 188))}});
        QVERIFY2(m_cloud->isRunning(), qPrintable(m_cloud->failure()));
        QVERIFY(m_cloud->baseUrl().startsWith(QStringLiteral("https://")));
        m_cloud->useForClient();
    }

    void init()
    {
        Timings::setScale(0.01);
        Timings::set(Timings::DiscoveryPollInterval, 20);
        Timings::set(Timings::DeviceStartDelay, 100);
        Timings::set(Timings::CommandWait, 4000);
    }

    void cleanup()
    {
        Timings::restoreDefaults();
        Limits::restoreDefaults();
        qunsetenv("TAMO_DFU_UTIL");
        qunsetenv("TAMO_DFUSIM_CHUNK_DELAY_MS");
    }

    void cleanupTestCase() { m_cloud.reset(); }

    void loginRefusedThenAcceptedThenLogout()
    {
        MainApp app;
        app.start();
        QVERIFY(QTest::qWaitForWindowExposed(app.window()));

        BoxAnswerer refusal(press(QMessageBox::Close));
        typeAndLogin(app, QStringLiteral("wrong-pass"));
        // Held while the request runs, the express button too.
        for (const char *name : {"emailLineEdit", "passLineEdit", "showPassCheckBox", "loginButton", "fwButton"})
            QVERIFY2(!namedChild<QWidget>(app.window()->loginPage(), name)->isEnabled(), name);
        QTRY_VERIFY_WITH_TIMEOUT(refusal.answered(), 10000);
        QCOMPARE(refusal.title(), QStringLiteral("Login error"));
        QVERIFY(!refusal.text().isEmpty());
        QCOMPARE(pageShown(app), QStringLiteral("loginPage"));
        QVERIFY(namedChild<QWidget>(app.window(), "fwButton")->isEnabled());
        QCOMPARE(namedChild<QLineEdit>(app.window(), "emailLineEdit")->text(), QStringLiteral("op@acme.test"));

        typeAndLogin(app, QStringLiteral("Op-Pass-1"));
        QTRY_COMPARE_WITH_TIMEOUT(pageShown(app), QStringLiteral("mainPage"), 10000);
        QCOMPARE(app.mode(), MainApp::Mode::LoggedIn);
        QCOMPARE(namedChild<QLabel>(app.window(), "userNameLabel")->text(), QStringLiteral("Olga Tester"));
        QCOMPARE(namedChild<QLabel>(app.window(), "userEmailLabel")->text(), QStringLiteral("op@acme.test"));
        // A repeated login signal replaces the session: one chef, one heartbeat.
        const QPointer<PublishingSession> first = app.publishingSession();
        QVERIFY(first);
        emit app.networkManager()->logined(true, QString());
        QVERIFY(first.isNull());
        QVERIFY(app.publishingSession());
        QCOMPARE(app.findChildren<ContentsChef *>().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(namedChild<QLabel>(app.window(), "companyNameLabel")->text(),
                                  QStringLiteral("Acme Displays"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!namedChild<QLabel>(app.window(), "companyLogoLabel")->pixmap(Qt::ReturnByValue).isNull(),
                                 10000);

        // Nothing runs on the devices: logging out does not ask.
        QTest::mouseClick(namedChild<QPushButton>(app.window(), "logoutButton"), Qt::LeftButton);
        QCOMPARE(pageShown(app), QStringLiteral("loginPage"));
        QCOMPARE(app.mode(), MainApp::Mode::LoginShown);
        QVERIFY(app.networkManager()->userInfo() == nullptr);
        QVERIFY(app.publishingSession() == nullptr);
        QVERIFY(app.findChildren<ContentsChef *>().isEmpty());
        QVERIFY(namedChild<QLineEdit>(app.window(), "emailLineEdit")->text().isEmpty());
        QVERIFY(namedChild<QLabel>(app.window(), "userNameLabel")->text().isEmpty());
    }

    void guardAsksWhileDevicesAreBusy_data()
    {
        QTest::addColumn<QString>("intent");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("stops");
        QTest::newRow("close, Yes") << "close" << "yes" << true;
        QTest::newRow("close, No") << "close" << "no" << false;
        QTest::newRow("close, Escape") << "close" << "escape" << false;
        QTest::newRow("close, question closed") << "close" << "closed" << false;
        QTest::newRow("logout, Yes") << "logout" << "yes" << true;
        QTest::newRow("logout, No") << "logout" << "no" << false;
    }

    void guardAsksWhileDevicesAreBusy()
    {
        QFETCH(QString, intent);
        QFETCH(QString, answer);
        QFETCH(bool, stops);
        DevSim sim;
        QVERIFY(sim.start({"--latency-ms", "400"}, 1));
        MainApp app;
        app.start();
        QVERIFY(QTest::qWaitForWindowExposed(app.window()));
        QVERIFY(busyOnTheExpressPath(app));
        const QPointer<DfuPageManager> pageManager = app.dfuPageManager();

        std::function<void(QMessageBox *)> reply =
            press(answer == QLatin1String("yes") ? QMessageBox::Yes : QMessageBox::No);
        if (answer == QLatin1String("escape"))
            reply = [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); };
        else if (answer == QLatin1String("closed"))
            reply = [](QMessageBox *box) { box->close(); };
        BoxAnswerer guard(reply);
        if (intent == QLatin1String("close"))
            app.window()->close();
        else
            QTest::mouseClick(namedChild<QPushButton>(app.window()->dfuPage(), "loginButton"), Qt::LeftButton);
        QVERIFY(guard.answered());
        QCOMPARE(guard.title(), QStringLiteral("Error"));
        QCOMPARE(guard.text(), MainApp::TerminateQuestionText);

        if (!stops) {
            // Everything stays as it was, the device's job included.
            QVERIFY(app.window()->isVisible());
            QCOMPARE(pageShown(app), QStringLiteral("dfuPage"));
            QVERIFY(!app.devicesManager()->isIdle());
            QVERIFY(pageManager);
            return;
        }
        if (intent == QLatin1String("close")) {
            QVERIFY(!app.window()->isVisible());
        } else {
            QCOMPARE(pageShown(app), QStringLiteral("loginPage"));
            QCOMPARE(app.mode(), MainApp::Mode::LoginShown);
        }
        QTRY_VERIFY_WITH_TIMEOUT(app.devicesManager()->isIdle(), 10000);
    }

    void closeWaitsForTheRunningFirmware()
    {
        Limits::set(Limits::MaxParallelUpgrades, 1); // one device flashes, the other waits
        DevSim sim;
        QVERIFY(sim.start({}, 2));
        const QString firmware = DevSim::makeFirmware(QStringLiteral("1.6.4"), m_dir.filePath("fw.dfu"));
        QVERIFY(!firmware.isEmpty());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        qputenv("TAMO_DFUSIM_CHUNK_DELAY_MS", "40"); // about five seconds for the image
        Timings::set(Timings::DfuToolRun, 60000);
        MainApp app;
        app.start();
        app.slotDfuPage();
        QTRY_COMPARE_WITH_TIMEOUT(app.devicesManager()->devicesModel()->rowCount(), 2, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(app.devicesManager()->isIdle(), 10000);
        QSignalSpy finished(app.devicesManager(), &DevicesManager::firmwareUpgradeFinished);
        app.devicesManager()->upgradeFirmware(firmware);
        // One device goes into its boot loader; the other waits for its turn.
        const QStringList serials{QString::fromLatin1(DevSim::kFirstSerial), QStringLiteral("TAMOSIM0002")};
        QTRY_VERIFY_WITH_TIMEOUT(DevSim::portOf(serials[0]).isEmpty() || DevSim::portOf(serials[1]).isEmpty(), 10000);
        const QString running = DevSim::portOf(serials[0]).isEmpty() ? serials[0] : serials[1];
        const QString queued = running == serials[0] ? serials[1] : serials[0];

        BoxAnswerer guard(press(QMessageBox::Yes));
        app.window()->close();
        QVERIFY(guard.answered());
        // The window stays and says why.
        QVERIFY(app.window()->isVisible());
        QVERIFY(app.window()->isShuttingDown());
        QVERIFY(app.devicesManager()->isFirmwareRunning());
        app.window()->close(); // a second close while it waits changes nothing
        QVERIFY(app.window()->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(!app.window()->isVisible(), 60000);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toString(), running);
        QVERIFY2(finished.at(0).at(1).toBool(), qPrintable(finished.at(0).at(2).toString()));
        // The queued device was dropped, never flashed.
        QCOMPARE(sim.snapshot(queued).value("state").toString(), QStringLiteral("attached"));
        QVERIFY(sim.snapshot(queued).value("identity").toObject().value("firmwareVersion").toString() != "1.6.4");
    }

    // Two of three devices chosen in the list, flashed side by side: one is
    // upgraded, the other fails with its reason on its card; the third is left
    // alone. The panel shows how the run went, and a confirmation follows.
    void expressUpgradeEndsWithAConfirmation()
    {
        DevSim sim;
        QVERIFY(sim.start({}, 3));
        const QString firmware = DevSim::makeFirmware(QStringLiteral("1.6.5"), m_dir.filePath("fw-165.dfu"));
        QVERIFY(!firmware.isEmpty());
        // The second device never shows up in its boot loader.
        const QString tool = m_dir.filePath(QStringLiteral("picky-dfu-util"));
        QFile script(tool);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ncase \"$*\" in *TAMOSIM0002*)\n"
                     "  echo 'dfu-util: No DFU capable USB device available' >&2; exit 74;;\nesac\nexec "
                     + QByteArray(TAMO_DFUSIM_BIN) + " \"$@\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        qputenv("TAMO_DFU_UTIL", QFile::encodeName(tool));
        qputenv("TAMO_DFUSIM_CHUNK_DELAY_MS", "5");
        Timings::set(Timings::DfuToolRun, 60000);
        Timings::set(Timings::FlashedDeviceGrace, 30000); // the failed device stays listed meanwhile
        MainApp app;
        app.start();
        app.slotDfuPage();
        DevicesModel *model = app.devicesManager()->devicesModel();
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 3, 15000);
        DfuPage *page = app.window()->dfuPage();
        namedChild<QPushButton>(page, "firmwareBtn")->click();
        page->setFirmwareFile(firmware);
        const auto rowOf = [model](const char *serial) {
            return model->index(model->findRow(DeviceInfo::SerialNumber, QString::fromLatin1(serial)), 0);
        };
        auto *list = namedChild<QListView>(page, "devicesListView");
        for (const char *serial : {"TAMOSIM0001", "TAMOSIM0002"})
            list->selectionModel()->select(rowOf(serial), QItemSelectionModel::Select);

        BoxAnswerer confirmation(press(QMessageBox::Ok));
        namedChild<QPushButton>(page, "upgradeFirmwareButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(rowOf("TAMOSIM0001").data(DevicesModel::StatusRole).toInt() == DeviceInfo::UpgradingFirmware
                                     && rowOf("TAMOSIM0002").data(DevicesModel::StatusRole).toInt()
                                         == DeviceInfo::UpgradingFirmware,
                                 10000);
        QTRY_VERIFY_WITH_TIMEOUT(confirmation.answered(), 60000);
        QCOMPARE(confirmation.title(), QStringLiteral("Firmware upgrade"));
        QVERIFY2(confirmation.text().startsWith(QStringLiteral("Firmware upgraded on 1 of 2 device(s).")),
                 qPrintable(confirmation.text()));
        QVERIFY2(confirmation.text().contains(QStringLiteral("\nTAMO 2: Cannot find DFU device")),
                 qPrintable(confirmation.text()));
        QVERIFY(!confirmation.text().contains(QStringLiteral("TAMO 1:")));
        QVERIFY(namedChild<QPushButton>(page, "upgradeFirmwareButton")->isEnabled());
        QCOMPARE(DeviceListDelegate::statusLine(rowOf("TAMOSIM0002")),
                 QStringLiteral("Status: error: Cannot find DFU device"));
        QCOMPARE(namedChild<QLabel>(page, "fwProgressLbl")->text(), QStringLiteral("1 of 2 upgraded"));
        // The device not chosen was left alone.
        QCOMPARE(rowOf("TAMOSIM0003").data(DevicesModel::StatusRole).toInt(), int(DeviceInfo::Connected));
        QCOMPARE(sim.snapshot(QStringLiteral("TAMOSIM0003")).value("identity").toObject().value("firmwareVersion").toString(),
                 QStringLiteral("1.5.90"));
    }

    void expressPageManagerLetGoAtLogout()
    {
        // The timer only has to start; no battery reading may make logging out ask.
        Timings::set(Timings::ExpressBatteryInterval, 600000);
        DevSim sim;
        QVERIFY(sim.start({}, 1));
        MainApp app;
        app.start();
        QTest::mouseClick(namedChild<QPushButton>(app.window(), "fwButton"), Qt::LeftButton);
        QCOMPARE(pageShown(app), QStringLiteral("dfuPage"));
        QCOMPARE(app.mode(), MainApp::Mode::Express);
        const QPointer<DfuPageManager> pageManager = app.dfuPageManager();
        QVERIFY(pageManager);
        QTRY_VERIFY_WITH_TIMEOUT(pageManager->isBatteryTimerRunning(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(app.devicesManager()->isIdle(), 10000);

        QTest::mouseClick(namedChild<QPushButton>(app.window()->dfuPage(), "loginButton"), Qt::LeftButton);
        QCOMPARE(pageShown(app), QStringLiteral("loginPage"));
        QVERIFY(app.dfuPageManager() == nullptr);
        // Detached before it goes: its timer is dead and the manager no longer reaches it.
        QVERIFY(pageManager);
        QVERIFY(!pageManager->isBatteryTimerRunning());
        emit app.devicesManager()->devicesReady({});
        QVERIFY(!pageManager->isBatteryTimerRunning());
        QTRY_VERIFY(pageManager.isNull());
    }
};

QTEST_MAIN(TestController)
#include "tst_app_controller.moc"
