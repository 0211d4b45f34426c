// The window on a real X server (run under xvfb-run): screenshots of the login
// page, the main page with three simulated devices and one selected, and the
// express page's upgrade panel go to the build folder for people to look at;
// the checks cover what a person sees first and what does not depend on fonts.
#include "DevSim.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "LoginPage.h"
#include "LogMessageHandler.h"
#include "MainPage.h"
#include "MainWindow.h"
#include "Timings.h"
#include "UserInfo.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>
#include <QtTest>

#ifndef TAMO_SCREENSHOT_DIR
#error "TAMO_SCREENSHOT_DIR must name the folder for the screenshots"
#endif

namespace {

const QColor kAccent(0x00, 0xbb, 0xbc);
const QColor kLeftPanel(0xd8, 0xd8, 0xd8);

template <typename T>
T *child(const QWidget *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child named %s", name);
    return found;
}

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
        DevicesManager manager;
        MainWindow window;
        window.show();
        window.activateWindow(); // no window manager here to do it
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("TAMO Halvic - Desktop App (1.0.95)"));
        QCOMPARE(window.size(), QSize(1100, 700));

        const QImage login = grab(window, QStringLiteral("login-page.png"));
        const QWidget *loginButton = child<QPushButton>(window.loginPage(), "loginButton");
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
        manager.startTracking();
        QTRY_VERIFY_WITH_TIMEOUT(allRead(manager.devicesModel(), 3), 20000);
        auto *list = child<QListView>(window.mainPage(), "devicesListView");
        list->setCurrentIndex(manager.devicesModel()->index(1, 0));
        QCOMPARE(child<QLabel>(window.mainPage(), "infoNameValue")->text(),
                 manager.devicesModel()->index(1, 0).data(DevicesModel::NameRole).toString());
        const QImage main = grab(window, QStringLiteral("main-page.png"));
        const QWidget *left = child<QWidget>(window.mainPage(), "leftPanel");
        QCOMPARE(left->width(), 540);
        QCOMPARE(colourAt(main, window, left, QPoint(left->width() - 4, 4)), kLeftPanel);
        QCOMPARE(child<QLabel>(window.mainPage(), "devicesCountLbl")->text(), QStringLiteral("3"));
        // Every card fits the list without a horizontal scroll bar.
        QVERIFY(!list->horizontalScrollBar()->isVisible());

        window.showDfuPage();
        auto *firmware = child<QPushButton>(window.dfuPage(), "firmwareBtn");
        QVERIFY(firmware->isEnabled());
        firmware->click();
        window.dfuPage()->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
        grab(window, QStringLiteral("express-upgrade-panel.png"));
        QCOMPARE(child<QLabel>(window.dfuPage(), "devicesCountLbl")->text(), QStringLiteral("3"));
        QVERIFY(child<QWidget>(window.dfuPage(), "bottomPanel")->isVisible());
    }
};

QTEST_MAIN(TestScreens)
#include "tst_ui_screens.moc"
