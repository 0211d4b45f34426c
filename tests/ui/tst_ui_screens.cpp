// The window on a virtual X server of its own: screenshots of the login
// page, the main page with three simulated devices and one selected (one with a
// very long name), the firmware panel that stays while a device leaves, the
// express upgrade with its log following the download, a message box, the
// window on a dark desktop scheme (qt5ct) and on a screen of double density (an
// X server of its own) go to the build folder for people to look at; the checks
// cover what a person sees first and what does not depend on fonts. The dark
// and the double-density cases run this program again as a child, since both
// are chosen when the application object is made.
#include "AppPaths.h"
#include "DevSim.h"
#include "DevicesManager.h"
#include "CustomMessageBox.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "Limits.h"
#include "LoginPage.h"
#include "LogMessageHandler.h"
#include "MainPage.h"
#include "MainWindow.h"
#include "NamedChild.h"
#include "Timings.h"
#include "UiResources.h"
#include "UserInfo.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QScrollBar>
#include <QToolTip>
#include <QWindow>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

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

bool inChild()
{
    return qEnvironmentVariableIsSet("TAMO_SCREENS_CHILD");
}

// This program again, running the one test function `function` with `env`;
// false (with what it printed) when that failed.
bool runChild(const QString &function, QProcessEnvironment env, QString *output)
{
    env.insert(QStringLiteral("TAMO_SCREENS_CHILD"), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {function});
    const bool ended = child.waitForFinished(180000);
    if (!ended)
        child.kill();
    *output = QString::fromLocal8Bit(child.readAll());
    return ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

// A virtual X server of the test's own, of that screen size; its display name.
QString startDisplay(QProcess &xvfb, const QString &screen)
{
    xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"});
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (xvfb.waitForStarted(10000) && !out.contains('\n') && timer.elapsed() < 15000
           && xvfb.state() == QProcess::Running) {
        xvfb.waitForReadyRead(200);
        out += xvfb.readAllStandardOutput();
    }
    return out.contains('\n') ? QLatin1Char(':') + QString::fromLatin1(out.trimmed()) : QString();
}

// A property of an X window as 32-bit values, read by a client of its own, as a
// window manager reads it; empty when the window has none.
QVector<quint32> windowProperty(WId window, const char *name)
{
    QVector<quint32> values;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(connection)) {
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_property_reply_t *reply = xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 0, xcb_window_t(window), atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                nullptr);
            if (reply && reply->format == 32) {
                const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply));
                for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
                    values << data[i];
            }
            std::free(reply);
        }
        std::free(atom);
    }
    xcb_disconnect(connection);
    return values;
}

int darkPixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110)
                ++count;
    return count;
}

// Where a widget is in the window's screenshot, which may have more pixels than
// the window has coordinates.
QRect inImage(const QWidget &window, const QWidget *widget, const QImage &image)
{
    const qreal ratio = qreal(image.width()) / window.width();
    const QRect rect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    return QRect(qRound(rect.x() * ratio), qRound(rect.y() * ratio), qRound(rect.width() * ratio),
                 qRound(rect.height() * ratio));
}

// A few log lines and two devices with a job each, for the pages to show.
void fillPages(MainWindow &window, DevicesModel &model)
{
    for (int i = 1; i <= 2; ++i) {
        DeviceInfo info;
        info.setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM000%1").arg(i));
        info.setValue(DeviceInfo::Name, QStringLiteral("TAMO %1").arg(i));
        info.setValue(DeviceInfo::FwVersion, QStringLiteral("1.5.90"));
        info.setValue(DeviceInfo::Battery, 87);
        info.setValue(DeviceInfo::Brightness, 80);
        info.setValue(DeviceInfo::Status, i == 1 ? int(DeviceInfo::UpgradingFirmware) : int(DeviceInfo::WaitingForFirmware));
        model.addDevices({info});
    }
    model.setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0001"), DeviceInfo::JobDone, 50);
    model.setValue(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0001"), DeviceInfo::JobTotal, 100);
    window.showMainPage();
    window.setDevicesModel(&model);
    window.mainPage()->openFirmwarePage();
    window.mainPage()->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
    for (int i = 0; i < 12; ++i)
        window.mainPage()->addLogMessage(
            QStringLiteral("21-03-04 10:00:%1 Info    - Downloading firmware to device 'TAMO 1': <b>%2%</b>")
                .arg(10 + i)
                .arg(i * 8));
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

    QTemporaryDir m_dir;

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
        // A very long one is shortened: the window keeps its size.
        const QString longName = QStringLiteral("Reception desk, ground floor ").repeated(4).trimmed();
        sim.control(QStringLiteral("set TAMOSIM0002 name ") + longName);
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
        list->setCurrentIndex(model->index(model->findRow(DeviceInfo::SerialNumber, QStringLiteral("TAMOSIM0002")), 0));
        QCOMPARE(namedChild<QLabel>(window.mainPage(), "infoNameValue")->text(), longName);
        grab(window, QStringLiteral("main-page-long-name.png"));
        QCOMPARE(window.size(), QSize(1100, 700));
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
        // The device that was current leaves: the panel stays.
        QVERIFY(sim.control(QStringLiteral("unplug TAMOSIM0003")).startsWith(QLatin1String("ok")));
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 2, 10000);
        QCOMPARE(namedChild<QStackedWidget>(window.mainPage(), "stackedWidget")->currentWidget()->objectName(),
                 QStringLiteral("fwUpdatePage"));
        grab(window, QStringLiteral("main-page-firmware-device-left.png"));

        window.showDfuPage();
        auto *firmware = namedChild<QPushButton>(window.dfuPage(), "firmwareBtn");
        QVERIFY(firmware->isEnabled());
        firmware->click();
        window.dfuPage()->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
        grab(window, QStringLiteral("express-upgrade-panel.png"));
        QCOMPARE(namedChild<QLabel>(window.dfuPage(), "devicesCountLbl")->text(), QStringLiteral("2"));
        QVERIFY(namedChild<QWidget>(window.dfuPage(), "bottomPanel")->isVisible());
    }

    void expressUpgradeLogFollowsTheDownload()
    {
        Limits::set(Limits::MaxParallelUpgrades, 1); // the second device waits, and says so
        DevSim sim;
        QVERIFY(sim.start({}, 2));
        const QString firmware =
            DevSim::makeFirmware(QStringLiteral("1.6.4"), m_dir.filePath(QStringLiteral("fw.dfu")), 60000);
        QVERIFY(!firmware.isEmpty());
        qputenv("TAMO_DFU_UTIL", TAMO_DFUSIM_BIN);
        qputenv("TAMO_DFUSIM_CHUNK_DELAY_MS", "40");
        Timings::set(Timings::DfuToolRun, 60000);
        DevicesManager manager;
        MainWindow window;
        connect(&window, &MainWindow::upgradeFirmwareTriggered, &manager,
                qOverload<const QString &>(&DevicesManager::upgradeFirmware));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.showDfuPage();
        window.setDevicesModel(manager.devicesModel());
        manager.startTracking();
        QTRY_VERIFY_WITH_TIMEOUT(allRead(manager.devicesModel(), 2), 20000);
        // The operator's way: the log was hidden on the welcome text while the
        // devices were read, and opens with the upgrade panel.
        namedChild<QPushButton>(window.dfuPage(), "firmwareBtn")->click();
        window.dfuPage()->setFirmwareFile(firmware);
        namedChild<QPushButton>(window.dfuPage(), "upgradeFirmwareButton")->click();

        // One device flashes; the other waits for its turn and says so.
        DevicesModel *model = manager.devicesModel();
        const auto statuses = [model] {
            QList<int> list;
            for (int row = 0; row < model->rowCount(); ++row)
                list << model->index(row, 0).data(DevicesModel::StatusRole).toInt();
            std::sort(list.begin(), list.end());
            return list;
        };
        QTRY_COMPARE_WITH_TIMEOUT(statuses(), (QList<int>{DeviceInfo::UpgradingFirmware, DeviceInfo::WaitingForFirmware}),
                                  10000);
        grab(window, QStringLiteral("express-upgrade-waiting.png"));

        // By the second device's download the log holds more than it shows, and
        // shows its newest line.
        auto *log = namedChild<QListView>(window.dfuPage(), "logsListView");
        const auto lastLine = [log] {
            return log->model()->index(log->model()->rowCount() - 1, 0).data().toString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(lastLine().contains(QStringLiteral("Downloading firmware to device 'TAMO 2': 50%")),
                                 60000);
        const QScrollBar *bar = log->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        const QRect last = log->visualRect(log->model()->index(log->model()->rowCount() - 1, 0));
        QVERIFY(log->viewport()->rect().contains(QPoint(1, last.bottom())));
        grab(window, QStringLiteral("express-upgrade-log.png"));
        manager.stopUpgradingDevices();
        QTRY_VERIFY_WITH_TIMEOUT(!manager.isFirmwareRunning(), 60000);
        qunsetenv("TAMO_DFU_UTIL");
        qunsetenv("TAMO_DFUSIM_CHUNK_DELAY_MS");
        Limits::restoreDefaults();
    }

    void messageBoxesCannotBeMaximised()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVector<quint32> motif;
        QVector<quint32> sizes;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            motif = windowProperty(box->winId(), "_MOTIF_WM_HINTS");
            sizes = windowProperty(box->winId(), "WM_NORMAL_HINTS");
            if (motif.isEmpty() || sizes.isEmpty())
                return;
            look.stop();
            grab(*box, QStringLiteral("message-box.png"));
            box->button(QMessageBox::Close)->click();
        });
        look.start(20);
        CustomMessageBox::showMessage(&window, CustomMessageBox::CriticalIcon, QStringLiteral("Invalid data"),
                                      QStringLiteral("Password is to short."), QMessageBox::Close, QMessageBox::Close);
        // Motif hints: the functions a window manager offers, none to maximise.
        QVERIFY(motif.size() >= 3);
        QVERIFY(motif[0] & 1);           // functions given
        QVERIFY(!(motif[1] & 0x10));     // no maximise function
        QVERIFY(!(motif[2] & 0x40));     // no maximise button
        // Size hints: one size, the smallest and the largest.
        QVERIFY(sizes.size() >= 9);
        QVERIFY((sizes[0] & 0x30) == 0x30);
        QCOMPARE(sizes[7], sizes[5]);
        QCOMPARE(sizes[8], sizes[6]);
    }

    void darkDesktopScheme()
    {
        if (!inChild()) {
            // What a dark desktop without KDE sets: qt5ct with its darker scheme.
            QTemporaryDir config;
            QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("qt5ct"))));
            QFile conf(config.filePath(QStringLiteral("qt5ct/qt5ct.conf")));
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write("[Appearance]\ncolor_scheme_path=/usr/share/qt5ct/colors/darker.conf\ncustom_palette=true\n"
                       "style=Fusion\n");
            conf.close();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("qt5ct"));
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
            env.remove(QStringLiteral("QT_STYLE_OVERRIDE"));
            QString output;
            QVERIFY2(runChild(QStringLiteral("darkDesktopScheme"), env, &output), qPrintable(output));
            return;
        }
        QVERIFY2(QGuiApplication::palette().color(QPalette::Window).lightness() < 100,
                 "the desktop's dark scheme did not take effect (is qt5ct installed?)");
        DevicesModel model;
        MainWindow window;
        fillPages(window, model);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QImage image = grab(window, QStringLiteral("dark-desktop-scheme.png"));
        // The log's lines and the steps' texts are dark on their light ground.
        auto *log = namedChild<QListView>(window.mainPage(), "logsListView");
        QVERIFY(darkPixels(image, inImage(window, log->viewport(), image)) > 200);
        const QWidget *step = namedChild<QWidget>(window.mainPage(), "fwUpdatePage");
        for (QLabel *label : step->findChildren<QLabel *>()) {
            if (!label->isVisible() || label->text().isEmpty() || label->objectName() == QLatin1String("fwUpdateLabel"))
                continue;
            QVERIFY2(darkPixels(image, inImage(window, label, image)) > 5, qPrintable(label->text()));
        }
        // So are the log's scroll bar and its groove.
        const QRect bar = inImage(window, log->verticalScrollBar(), image);
        QVERIFY(bar.width() > 0);
        qint64 grey = 0;
        for (int y = bar.top(); y <= bar.bottom(); ++y)
            for (int x = bar.left(); x <= bar.right(); ++x)
                grey += qGray(image.pixel(x, y));
        QVERIFY2(grey / (qint64(bar.width()) * bar.height()) > 160,
                 qPrintable(QString::number(grey / (qint64(bar.width()) * bar.height()))));
    }

    void doubleDensityScreen()
    {
        if (!inChild()) {
            QProcess xvfb;
            const QString display = startDisplay(xvfb, QStringLiteral("2560x1600x24"));
            QVERIFY(!display.isEmpty());
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), display);
            env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
            QString output;
            const bool passed = runChild(QStringLiteral("doubleDensityScreen"), env, &output);
            xvfb.terminate();
            xvfb.waitForFinished(10000);
            QVERIFY2(passed, qPrintable(output));
            return;
        }
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
        DevicesModel model;
        MainWindow window;
        fillPages(window, model);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QImage image = grab(window, QStringLiteral("scale-factor-2.png"));
        QCOMPARE(image.width(), 2 * window.width());

        // The header's logo is drawn from its double-size picture, pixel for pixel.
        const QImage sharp = QImage(QStringLiteral(":/img/TAMO-logo-small@2x.png")).convertToFormat(QImage::Format_ARGB32);
        const QImage plain = QImage(QStringLiteral(":/img/TAMO-logo-small.png"))
                                 .scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_ARGB32);
        auto *logo = namedChild<QLabel>(window.mainPage(), "tamoLogoLabel");
        const QRect area = inImage(window, logo, image);
        qint64 offSharp = -1;
        qint64 offPlain = 0;
        // Centred in the label: the rounding of its half pixel is the style's.
        for (int dy = -2; dy <= 2; ++dy) {
            const QPoint origin(area.left(), area.top() + (area.height() - sharp.height()) / 2 + dy);
            qint64 sharpOff = 0;
            qint64 plainOff = 0;
            for (int y = 0; y < sharp.height(); ++y)
                for (int x = 0; x < sharp.width(); ++x) {
                    if (qAlpha(sharp.pixel(x, y)) < 255)
                        continue;
                    const QRgb shown = image.pixel(origin + QPoint(x, y));
                    sharpOff += qAbs(qGray(shown) - qGray(sharp.pixel(x, y)));
                    plainOff += qAbs(qGray(shown) - qGray(plain.pixel(x, y)));
                }
            if (offSharp < 0 || sharpOff < offSharp) {
                offSharp = sharpOff;
                offPlain = plainOff;
            }
        }
        QVERIFY2(offSharp * 3 < offPlain, qPrintable(QStringLiteral("%1 %2").arg(offSharp).arg(offPlain)));

        // No text is cut: every button shown has the room it asks for.
        for (const QPushButton *button : window.findChildren<QPushButton *>()) {
            if (!button->isVisible())
                continue;
            QVERIFY2(button->width() >= button->sizeHint().width() && button->height() >= button->sizeHint().height(),
                     qPrintable(button->objectName()));
        }
    }
};

QTEST_MAIN(TestScreens)
#include "tst_ui_screens.moc"
