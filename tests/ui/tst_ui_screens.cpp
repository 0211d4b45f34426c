// The window on a virtual X server of its own: screenshots of the login
// page, the main page with three simulated devices and one selected, and the
// express page's upgrade panel go to the build folder for people to look at;
// the checks cover what a person sees first and what does not depend on fonts.
#include "AppPaths.h"
#include "DevSim.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "LoginPage.h"
#include "LogMessageHandler.h"
#include "MainPage.h"
#include "MainWindow.h"
#include "NamedChild.h"
#include "Timings.h"
#include "UserInfo.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>
#include <QWindow>
#include <QtTest>

#ifndef TAMO_SCREENSHOT_DIR
#error "TAMO_SCREENSHOT_DIR must name the folder for the screenshots"
#endif

namespace {

const QColor kAccent(0x00, 0xbb, 0xbc);
const QColor kLeftPanel(0xd8, 0xd8, 0xd8);

// What the X server shows of the window, not what Qt would paint offscreen.
QImage grab(const QWidget &window, const QString &name)
{
    QTest::qWait(300); // let queued repaints reach the server
    const QImage image = window.windowHandle()->screen()->grabWindow(window.winId()).toImage();
    image.save(QDir(QStringLiteral(TAMO_SCREENSHOT_DIR)).filePath(name));
    return image;
}

QColor colourAt(const QImage &image, const QWidget &window, const QWidget *widget, QPoint inWidget)
{
    return image.pixelColor(widget->mapTo(&window, inWidget));
}

bool containsColour(const QImage &image, const QRect &area, const QColor &colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

bool allRead(const DevicesModel *model, int rows)
{
    if (model->rowCount() != rows)
        return false;
    for (int row = 0; row < rows; ++row)
        if (!model->index(row, 0).data(DevicesModel::BatteryRole).isValid())
            return false;
    return true;
}

} // namespace

class TestScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(QDir().mkpath(QStringLiteral(TAMO_SCREENSHOT_DIR)));
        QFile::remove(AppPaths::settingsFilePath()); // a first start
        qInstallMessageHandler(logMessageHandler);
        Timings::setScale(0.01);
        Timings::set(Timings::DiscoveryPollInterval, 20);
        Timings::set(Timings::DeviceStartDelay, 100);
        Timings::set(Timings::CommandWait, 4000);
    }

    void threePagesAsAPersonSeesThem()
    {
        DevSim sim;
        QVERIFY(sim.start({}, 3));
        // A name with markup is shown as the characters it is made of.
        sim.control(QStringLiteral("set TAMOSIM0003 name <img src=x>"));
        DevicesManager manager;
        MainWindow window;
        window.show();
        window.activateWindow(); // no window manager here to do it
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("TAMO Halvic - Desktop App (1.0.95)"));
        QCOMPARE(window.size(), QSize(1100, 700));

        const QImage login = grab(window, QStringLiteral("login-page.png"));
        const QWidget *loginButton = namedChild<QPushButton>(window.loginPage(), "loginButton");
        QCOMPARE(colourAt(login, window, loginButton, QPoint(6, loginButton->height() / 2)), kAccent);
        QCOMPARE(colourAt(login, window, loginButton, QPoint(loginButton->width() - 7, loginButton->height() / 2)),
                 kAccent);

        UserInfo user;
        user.fullname = QStringLiteral("Dana Manager");
        user.email = QStringLiteral("demo.manager@tamo.example");
        user.companyName = QStringLiteral("Demo Displays Ltd");
        window.setUserInfo(&user);
        window.showMainPage();
        window.setDevicesModel(manager.devicesModel());
        // A first start opens on the help tip.
        grab(window, QStringLiteral("main-page-help-tip.png"));
        manager.startTracking();
        QTRY_VERIFY_WITH_TIMEOUT(allRead(manager.devicesModel(), 3), 20000);
        // What the devices manager reports while a job runs, and after a failure.
        DevicesModel *model = manager.devicesModel();
        model->setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0001"), DeviceInfo::Status, 1);
        model->setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0001"), DeviceInfo::JobDone, 3);
        model->setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0001"), DeviceInfo::JobTotal, 9);
        model->setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0002"), DeviceInfo::Status, 4);
        model->setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0002"), DeviceInfo::LastError,
                        QStringLiteral("Device response is to short"));
        model->setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0003"), DeviceInfo::Brightness, QVariant());
        auto *list = namedChild<QListView>(window.mainPage(), "devicesListView");
        const int marked = model->findRow(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0003"));
        QCOMPARE(model->index(marked, 0).data(DevicesModel::NameRole).toString(), QStringLiteral("<img src=x>"));
        list->setCurrentIndex(model->index(marked, 0));
        QCOMPARE(namedChild<QLabel>(window.mainPage(), "infoNameValue")->text(), QStringLiteral("<img src=x>"));
        const QImage main = grab(window, QStringLiteral("main-page.png"));
        const QWidget *left = namedChild<QWidget>(window.mainPage(), "leftPanel");
        QCOMPARE(left->width(), 540);
        QCOMPARE(colourAt(main, window, left, QPoint(left->width() - 4, 4)), kLeftPanel);
        QCOMPARE(namedChild<QLabel>(window.mainPage(), "devicesCountLbl")->text(), QStringLiteral("3"));
        // Every card fits the list without a horizontal scroll bar; the busy one shows its progress.
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        const QRect busy = list->visualRect(model->index(model->findRow(DeviceInfo::SerialNumber,
                                                                        QStringLiteral("TAMOSIM0001")), 0));
        QVERIFY(containsColour(main, QRect(list->viewport()->mapTo(&window, busy.topLeft()), busy.size()),
                               QColor(0x50, 0xa3, 0xf8)));

        // The failed device's tooltip tells its last error.
        const QRect failed = list->visualRect(model->index(model->findRow(DeviceInfo::SerialNumber,
                                                                          QStringLiteral("TAMOSIM0002")), 0));
        QHelpEvent help(QEvent::ToolTip, failed.center(), list->viewport()->mapToGlobal(failed.center()));
        QCoreApplication::sendEvent(list->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().replace(QChar(0xa0), QLatin1Char(' ')).contains(
            QStringLiteral("Last error: Device response is to short")));
        QTest::qWait(300);
        window.windowHandle()->screen()->grabWindow(0).save(
            QDir(QStringLiteral(TAMO_SCREENSHOT_DIR)).filePath(QStringLiteral("main-page-tooltip.png")));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());

        namedChild<QPushButton>(window.mainPage(), "firmwareBtn")->click();
        window.mainPage()->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
        grab(window, QStringLiteral("main-page-firmware.png"));

        window.showDfuPage();
        auto *firmware = namedChild<QPushButton>(window.dfuPage(), "firmwareBtn");
        QVERIFY(firmware->isEnabled());
        firmware->click();
        window.dfuPage()->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
        grab(window, QStringLiteral("express-upgrade-panel.png"));
        QCOMPARE(namedChild<QLabel>(window.dfuPage(), "devicesCountLbl")->text(), QStringLiteral("3"));
        QVERIFY(namedChild<QWidget>(window.dfuPage(), "bottomPanel")->isVisible());
    }
};

QTEST_MAIN(TestScreens)
#include "tst_ui_screens.moc"
