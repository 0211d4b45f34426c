// The pages and the delegates as an operator meets them: the login checks and
// the inputs held while a login runs, the default-location editor, the help
// tip's first start, the firmware panels' errors and layout, panels that stay
// open while devices come and go, long values that must not widen the window,
// the express page's return to its welcome text, which page collects the
// activity log and how it follows, copies and saves its lines; names for screen
// readers and keys; the device card and the activity-log rows: texts, sizes, and
// what lands on the pixels (status colours and size, the selection, the "NEW"
// mark, rich text, addresses kept on one line).
#include "AppPaths.h"
#include "BasePage.h"
#include "DeviceListDelegate.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "EditableText.h"
#include "LocalSettings.h"
#include "LogCategories.h"
#include "LogMessageHandler.h"
#include "LogsDelegate.h"
#include "LoginPage.h"
#include "MainPage.h"
#include "MainWindow.h"
#include "NamedChild.h"
#include "Timings.h"
#include "UserInfo.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString currentName(const QWidget *parent, const char *stack)
{
    return namedChild<QStackedWidget>(parent, stack)->currentWidget()->objectName();
}

int logRows(const QWidget *page)
{
    return namedChild<QListView>(page, "logsListView")->model()->rowCount();
}

DeviceInfo device(const QString &serial)
{
    DeviceInfo info;
    info.setValue(DeviceInfo::SerialNumber, serial);
    info.setValue(DeviceInfo::Name, QStringLiteral("Reception"));
    info.setValue(DeviceInfo::FwVersion, QStringLiteral("1.5.90"));
    return info;
}

bool containsColor(const QImage &image, const QColor &color, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == color)
                return true;
    return false;
}

// The last activity-log row is in view, at the very end.
bool lastRowShown(const QListView *view)
{
    const int rows = view->model()->rowCount();
    const QRect last = view->visualRect(view->model()->index(rows - 1, 0));
    const QScrollBar *bar = view->verticalScrollBar();
    return rows > 0 && bar->value() == bar->maximum() && view->viewport()->rect().contains(QPoint(1, last.bottom()));
}

QString logLine(int i)
{
    return QStringLiteral("21-03-04 10:00:%1 Info    - line %2 with a few words for the activity log")
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg(i);
}

QLabel *labelStartingWith(const QWidget *parent, const QString &text)
{
    for (QLabel *label : parent->findChildren<QLabel *>())
        if (label->text().startsWith(text))
            return label;
    qFatal("no label starting with %s", qPrintable(text));
    return nullptr;
}

// Where a widget's text starts, in `top`'s coordinates.
int textLeft(const QWidget *top, const QLabel *label)
{
    return label->mapTo(top, label->contentsRect().topLeft()).x();
}

// The bounding box of the pixels of one colour; null when there are none.
QRect boxOf(const QImage &image, const QColor &colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

// The right-most dark pixel between two rows, right of `from`; -1 when none.
int rightmostInk(const QImage &image, int top, int bottom, int from)
{
    int right = -1;
    for (int y = qMax(0, top); y <= qMin(image.height() - 1, bottom); ++y)
        for (int x = from; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                right = qMax(right, x);
    return right;
}

int darkPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++count;
    return count;
}

QImage render(const QStyledItemDelegate &delegate, const QModelIndex &index, bool selected,
              QSize size = QSize(420, 0))
{
    QStyleOptionViewItem option;
    option.rect = QRect(QPoint(0, 0), QSize(size.width(), 10));
    option.font = QApplication::font();
    if (size.height() == 0)
        size.setHeight(delegate.sizeHint(option, index).height());
    option.rect = QRect(QPoint(0, 0), size);
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    if (selected)
        option.state |= QStyle::State_Selected;
    option.backgroundBrush = QBrush(Qt::white);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    delegate.paint(&painter, option, index);
    painter.end();
    return image;
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void init() { QFile::remove(AppPaths::settingsFilePath()); }
    void cleanup() { Timings::restoreDefaults(); }

    void login_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("error");
        QTest::newRow("blanks around the address") << "  op@acme.test \t" << "Op-Pass-1" << "button" << QString();
        QTest::newRow("Return in the e-mail field") << "op@acme.test" << "Op-Pass-1" << "email" << QString();
        QTest::newRow("Return in the password field") << "op@acme.test" << "Op-Pass-1" << "password" << QString();
        QTest::newRow("several labels, four-letter end") << "op@mail.acme.info" << "abcd" << "button" << QString();
        QTest::newRow("seven-letter end") << "demo.manager@tamo.example" << "abcd" << "button" << QString();
        QTest::newRow("one-letter end") << "op@acme.x" << "Op-Pass-1" << "button" << "Invalid email address.";
        QTest::newRow("domain without a dot") << "op@acme" << "Op-Pass-1" << "button" << "Invalid email address.";
        QTest::newRow("script extension after the first label") << "op@acme.js" << "Op-Pass-1" << "password"
                                                                << "Invalid email address.";
        QTest::newRow("three-character password") << "op@acme.test" << "abc" << "button" << "Password is to short.";
        QTest::newRow("blank password is not trimmed") << "op@acme.test" << "    " << "button" << QString();
    }

    void login()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(QString, trigger);
        QFETCH(QString, error);
        LoginPage page;
        page.show();
        QSignalSpy clicked(&page, &LoginPage::loginClicked);
        QSignalSpy errors(&page, &LoginPage::errorOccurred);
        auto *emailEdit = namedChild<QLineEdit>(&page, "emailLineEdit");
        auto *passwordEdit = namedChild<QLineEdit>(&page, "passLineEdit");
        emailEdit->setText(email);
        passwordEdit->setText(password);
        if (trigger == QLatin1String("button"))
            QTest::mouseClick(namedChild<QPushButton>(&page, "loginButton"), Qt::LeftButton);
        else
            QTest::keyClick(trigger == QLatin1String("email") ? emailEdit : passwordEdit, Qt::Key_Return);

        const QList<QWidget *> inputs{emailEdit, passwordEdit, namedChild<QCheckBox>(&page, "showPassCheckBox"),
                                      namedChild<QPushButton>(&page, "loginButton"),
                                      namedChild<QPushButton>(&page, "fwButton")};
        if (error.isEmpty()) {
            QCOMPARE(clicked.count(), 1);
            QCOMPARE(clicked.at(0).at(0).toString(), email.trimmed());
            QCOMPARE(clicked.at(0).at(1).toString(), password);
            QVERIFY(errors.isEmpty());
        } else {
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.at(0).at(0).toString(), error);
            QVERIFY(clicked.isEmpty());
        }
        // Held while the login runs; free to correct after a refusal.
        for (QWidget *input : inputs)
            QCOMPARE(input->isEnabled(), !error.isEmpty());
        page.setInputsEnabled(true);
        for (QWidget *input : inputs)
            QVERIFY(input->isEnabled());
    }

    void windowOpensReadyToType()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget *email = namedChild<QLineEdit>(&window, "emailLineEdit");
        QCOMPARE(QApplication::focusWidget(), email);
        QTest::keyClick(email, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(namedChild<QLineEdit>(&window, "passLineEdit")));

        // After a logout both fields are empty and the e-mail field has the focus again.
        auto *emailEdit = static_cast<QLineEdit *>(email);
        emailEdit->setText(QStringLiteral("op@acme.test"));
        window.showMainPage();
        window.showLoginPage();
        QVERIFY(emailEdit->text().isEmpty());
        QTRY_COMPARE(QApplication::focusWidget(), email);
    }

    void editableText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("dirty");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("emitted");
        const QString committed = QStringLiteral("Lobby");
        QTest::newRow("a new text shows the buttons") << "Hall" << "" << true << "Hall" << QStringList();
        QTest::newRow("the committed text typed back hides them") << committed << "" << false << committed
                                                                  << QStringList();
        QTest::newRow("cleared field: clean, Return only drops the focus") << "" << "return" << false << ""
                                                                            << QStringList();
        QTest::newRow("Return commits") << "Hall" << "return" << false << "Hall" << QStringList{"Hall"};
        QTest::newRow("Save commits") << "Hall" << "save" << false << "Hall" << QStringList{"Hall"};
        QTest::newRow("Cancel reverts") << "Hall" << "cancel" << false << committed << QStringList();
        QTest::newRow("leaving the page reverts") << "Hall" << "hide" << false << committed << QStringList();
        QTest::newRow("no 51st character") << QString(51, QLatin1Char('x')) << "" << true << QString(50, 'x')
                                           << QStringList();
    }

    void editableText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, action);
        QFETCH(bool, dirty);
        QFETCH(QString, field);
        QFETCH(QStringList, emitted);
        EditableText editor;
        editor.setText(QStringLiteral("Lobby"));
        editor.show();
        QSignalSpy changed(&editor, &EditableText::textChanged);
        auto *edit = namedChild<QLineEdit>(&editor, "locationEdit");
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);
        if (action == QLatin1String("return"))
            QTest::keyClick(edit, Qt::Key_Return);
        else if (action == QLatin1String("save"))
            QTest::mouseClick(namedChild<QPushButton>(&editor, "saveButton"), Qt::LeftButton);
        else if (action == QLatin1String("cancel"))
            QTest::mouseClick(namedChild<QPushButton>(&editor, "cancelButton"), Qt::LeftButton);
        else if (action == QLatin1String("hide"))
            editor.hide();

        QCOMPARE(!namedChild<QPushButton>(&editor, "saveButton")->isHidden(), dirty);
        QCOMPARE(!namedChild<QPushButton>(&editor, "cancelButton")->isHidden(), dirty);
        QCOMPARE(edit->text(), field);
        QStringList texts;
        for (const QList<QVariant> &signal : changed)
            texts << signal.at(0).toString();
        QCOMPARE(texts, emitted);
    }

    void helpTipOpensByItselfOnlyOnTheFirstStart()
    {
        {
            MainPage page;
            QCOMPARE(currentName(&page, "mainPageStackedWidget"), QStringLiteral("defLocationPage"));
            QVERIFY(namedChild<QWidget>(&page, "bottomPanel")->isHidden()); // the tip hides the log
            QCOMPARE(LocalSettings::showHelpTip(), false);
            // A location saved in one editor shows in the other and is stored.
            namedChild<EditableText>(&page, "editLocationWidget")->setText(QStringLiteral("Lobby"));
            QCOMPARE(namedChild<EditableText>(&page, "locationEditor")->text(), QStringLiteral("Lobby"));
            QCOMPARE(LocalSettings::defaultLocation(), QStringLiteral("Lobby"));
        }
        MainPage second;
        QCOMPARE(currentName(&second, "mainPageStackedWidget"), QStringLiteral("devicePage"));
        QCOMPARE(currentName(&second, "stackedWidget"), QStringLiteral("deviceInfoPage"));
        QCOMPARE(namedChild<QLineEdit>(namedChild<EditableText>(&second, "editLocationWidget"), "locationEdit")->text(),
                 QStringLiteral("Lobby"));
    }

    void firmwarePanelErrors_data()
    {
        QTest::addColumn<bool>("express");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("error");
        const QString missing = QStringLiteral("Dfu '%1' file not exist.");
        QTest::newRow("main: no file chosen") << false << "" << 1 << BasePage::NoFileSelectedText;
        QTest::newRow("main: file deleted after choosing") << false << "gone" << 1 << missing;
        QTest::newRow("main: no devices") << false << "present" << 0 << MainPage::NoDevicesText;
        QTest::newRow("main: file and a device") << false << "present" << 1 << QString();
        QTest::newRow("express: no file chosen") << true << "" << 1 << BasePage::NoFileSelectedText;
        QTest::newRow("express: file deleted after choosing") << true << "gone" << 1 << missing;
        QTest::newRow("express: file and a device") << true << "present" << 1 << QString();
    }

    void firmwarePanelErrors()
    {
        QFETCH(bool, express);
        QFETCH(QString, file);
        QFETCH(int, devices);
        QFETCH(QString, error);
        const QString path = m_dir.filePath(QStringLiteral("tamo-%1.dfu").arg(file));
        if (file == QLatin1String("present")) {
            QFile dfu(path);
            QVERIFY(dfu.open(QIODevice::WriteOnly));
        }
        DevicesModel model;
        for (int i = 0; i < devices; ++i)
            model.addDevices({device(QString::number(i))});
        MainPage mainPage;
        DfuPage dfuPage;
        BasePage *page = express ? static_cast<BasePage *>(&dfuPage) : &mainPage;
        page->setDevicesModel(&model);
        if (!file.isEmpty())
            express ? dfuPage.setFirmwareFile(path) : mainPage.setFirmwareFile(path);
        QSignalSpy errors(page, SIGNAL(errorOccured(QString)));
        QSignalSpy upgrades(page, SIGNAL(upgradeFirmwareTriggered(QString, QStringList)));

        auto *upgrade = namedChild<QPushButton>(page, "upgradeFirmwareButton");
        upgrade->click();
        if (error.isEmpty()) {
            QCOMPARE(upgrades.count(), 1);
            QCOMPARE(upgrades.at(0).at(0).toString(), path);
            QCOMPARE(upgrades.at(0).at(1).toStringList(), QStringList()); // none chosen: all of them
            QVERIFY(!upgrade->isEnabled()); // until every device is upgraded
            return;
        }
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), error.contains(QLatin1String("%1")) ? error.arg(path) : error);
        QVERIFY(upgrades.isEmpty());
        QVERIFY(upgrade->isEnabled());
        if (file == QLatin1String("gone")) {
            // The choice is forgotten: a second press asks for a file.
            upgrade->click();
            QCOMPARE(errors.at(1).at(0).toString(), BasePage::NoFileSelectedText);
            if (express) {
                QVERIFY(namedChild<QPushButton>(page, "selectedDfuButton")->isHidden());
                QVERIFY(!namedChild<QPushButton>(page, "selectButton")->isHidden());
                QCOMPARE(namedChild<QLabel>(page, "selectLabel")->text(), DfuPage::ChooseFileText);
            } else {
                QVERIFY(namedChild<QLabel>(page, "fwFileNameLabel")->text().isEmpty());
            }
        }
    }

    void expressPageWelcomesAgainWhenTheLastDeviceLeaves()
    {
        DevicesModel model;
        DfuPage page;
        page.setDevicesModel(&model);
        page.show();
        auto *firmware = namedChild<QPushButton>(&page, "firmwareBtn");
        auto *log = namedChild<QWidget>(&page, "bottomPanel");
        QVERIFY(!firmware->isEnabled());
        model.addDevices({device(QStringLiteral("A")), device(QStringLiteral("B"))});
        QCOMPARE(namedChild<QLabel>(&page, "devicesCountLbl")->text(), QStringLiteral("2"));
        QVERIFY(firmware->isEnabled());
        firmware->click();
        QCOMPARE(currentName(&page, "contentStackedWidget"), QStringLiteral("dfuPage"));
        QVERIFY(log->isVisible());
        QVERIFY(firmware->isHidden());

        model.removeDevice(QStringLiteral("A"));
        QCOMPARE(currentName(&page, "contentStackedWidget"), QStringLiteral("dfuPage"));
        model.removeDevice(QStringLiteral("B"));
        QCOMPARE(currentName(&page, "contentStackedWidget"), QStringLiteral("infoPage"));
        QVERIFY(!log->isVisible());
        QVERIFY(!firmware->isHidden());
        QVERIFY(!firmware->isEnabled());
        QVERIFY(namedChild<QLabel>(&page, "noDevicesLbl")->isVisible());
    }

    void onlyThePageShownCollectsTheActivityLog()
    {
        const QtMessageHandler previous = qInstallMessageHandler(logMessageHandler);
        MainWindow window;
        window.show();
        QWidget *mainPage = window.mainPage();
        QWidget *dfuPage = window.dfuPage();

        window.showMainPage();
        qCInfo(lcDeviceManager, "Connected %d device(s)", 1);
        QTRY_COMPARE(logRows(mainPage), 1);
        QVERIFY(mainPage->isEnabled());
        QVERIFY(!dfuPage->isEnabled());
        QVERIFY(!window.loginPage()->isEnabled());

        window.showDfuPage();
        qCInfo(lcContentsChef, "to the express page");
        qInfo("not an activity line");
        QTRY_COMPARE(logRows(dfuPage), 1);
        QCOMPARE(logRows(mainPage), 1);
        QVERIFY(dfuPage->isEnabled());
        QVERIFY(!mainPage->isEnabled());

        window.showLoginPage();
        qCInfo(lcContentManager, "nobody collects this");
        QCoreApplication::processEvents();
        QCOMPARE(logRows(mainPage), 0);
        QCOMPARE(logRows(dfuPage), 0);
        qInstallMessageHandler(previous);
    }

    void activityLogKeepsTheNewestRows()
    {
        MainPage page;
        for (int i = 0; i < BasePage::kMaxLogRows + 7; ++i)
            page.addLogMessage(QStringLiteral("line %1").arg(i));
        const QAbstractItemModel *log = namedChild<QListView>(&page, "logsListView")->model();
        QCOMPARE(log->rowCount(), BasePage::kMaxLogRows);
        QCOMPARE(log->index(0, 0).data().toString(), QStringLiteral("line 7"));
        QCOMPARE(log->index(log->rowCount() - 1, 0).data().toString(),
                 QStringLiteral("line %1").arg(BasePage::kMaxLogRows + 6));
    }

    void activityLogFollowsTheNewestLine_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("follows");
        QTest::newRow("express panel opened after the devices were read") << "express panel" << true;
        QTest::newRow("help tip shown and hidden") << "help tip" << true;
        QTest::newRow("window narrowed") << "narrowed" << true;
        QTest::newRow("operator scrolled up") << "scrolled up" << false;
        QTest::newRow("operator scrolled back to the end") << "scrolled back" << true;
    }

    void activityLogFollowsTheNewestLine()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, follows);
        Timings::set(Timings::LogScrollDelay, 20);
        DevicesModel model;
        model.addDevices({device(QStringLiteral("A"))});
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const bool express = meanwhile == QLatin1String("express panel");
        express ? window.showDfuPage() : window.showMainPage();
        window.setDevicesModel(&model);
        BasePage *page = express ? static_cast<BasePage *>(window.dfuPage()) : window.mainPage();
        if (!express)
            window.mainPage()->openDeviceInfo();
        auto *view = namedChild<QListView>(page, "logsListView");
        QScrollBar *bar = view->verticalScrollBar();
        // Lines arrive over a while, one scroll delay after the other.
        for (int i = 0; i < 80; ++i) {
            page->addLogMessage(logLine(i));
            if (i % 20 == 19)
                QTest::qWait(2 * Timings::ms(Timings::LogScrollDelay));
        }

        if (express) {
            // The log was hidden on the welcome text while the devices were read.
            namedChild<QPushButton>(page, "firmwareBtn")->click();
            QTRY_VERIFY(bar->maximum() > 0);
        } else {
            QTRY_VERIFY(lastRowShown(view));
            if (meanwhile == QLatin1String("help tip")) {
                window.mainPage()->openHelpTip();
            } else if (meanwhile == QLatin1String("narrowed")) {
                const int before = bar->maximum();
                window.resize(900, 700); // the rows wrap: the log grows under the view
                QTRY_VERIFY(bar->maximum() > before);
            } else {
                bar->triggerAction(QAbstractSlider::SliderToMinimum);
                if (meanwhile == QLatin1String("scrolled back"))
                    bar->triggerAction(QAbstractSlider::SliderToMaximum);
            }
        }
        for (int i = 80; i < 100; ++i)
            page->addLogMessage(logLine(i));
        if (meanwhile == QLatin1String("help tip"))
            window.mainPage()->openDeviceInfo();
        page->addLogMessage(logLine(100));
        if (follows) {
            QTRY_VERIFY(lastRowShown(view));
        } else {
            QTest::qWait(10 * Timings::ms(Timings::LogScrollDelay));
            QCOMPARE(bar->value(), 0);
        }
    }

    void activityLogCopiesAndSavesPlainLines()
    {
        MainPage page;
        const QStringList rows{
            QStringLiteral("21-03-04 10:00:01 Info    - Started transfer file(s) to device 'c4:4f'. <b>Please wait</b>"),
            QStringLiteral("21-03-04 10:00:02 Warning - Device '&lt;img src=x&gt;' &amp; more"),
            QStringLiteral("21-03-04 10:00:03 Info    - Connected 1 device(s)")};
        for (const QString &row : rows)
            page.addLogMessage(row);
        const QStringList plain{
            QStringLiteral("21-03-04 10:00:01 Info    - Started transfer file(s) to device 'c4:4f'. Please wait"),
            QStringLiteral("21-03-04 10:00:02 Warning - Device '<img src=x>' & more"),
            QStringLiteral("21-03-04 10:00:03 Info    - Connected 1 device(s)")};
        auto *view = namedChild<QListView>(&page, "logsListView");
        QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
        QStringList actions;
        for (const QAction *action : view->actions())
            actions << action->text();
        QCOMPARE(actions, (QStringList{QStringLiteral("&Copy"), QStringLiteral("&Save log as…")}));

        // The lines the operator selected, in the log's order, as plain text.
        view->selectionModel()->select(view->model()->index(2, 0), QItemSelectionModel::Select);
        view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::Select);
        view->actions().first()->trigger();
        QCOMPARE(QApplication::clipboard()->text(), plain.mid(1).join(QLatin1Char('\n')));

        const QString path = m_dir.filePath(QStringLiteral("activity.txt"));
        QVERIFY(page.saveLog(path));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()), plain.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        QVERIFY(!page.saveLog(m_dir.filePath(QStringLiteral("no/such/folder/activity.txt"))));
    }

    void panelStaysOpenWhileTheCurrentRowLeaves_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QString>("stack");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<bool>("pickOpensInformation"); // else it chooses devices to upgrade
        QTest::newRow("firmware panel") << "firmwareBtn" << "stackedWidget" << "fwUpdatePage" << false;
        QTest::newRow("help tip") << "showTipButton" << "mainPageStackedWidget" << "defLocationPage" << true;
    }

    void panelStaysOpenWhileTheCurrentRowLeaves()
    {
        QFETCH(QString, opener);
        QFETCH(QString, stack);
        QFETCH(QString, panel);
        QFETCH(bool, pickOpensInformation);
        DevicesModel model;
        model.addDevices({device(QStringLiteral("A")), device(QStringLiteral("B")), device(QStringLiteral("C"))});
        MainPage page;
        page.setDevicesModel(&model);
        page.show();
        auto *list = namedChild<QListView>(&page, "devicesListView");
        list->setCurrentIndex(model.index(1, 0)); // as a click does
        QCOMPARE(currentName(&page, "stackedWidget"), QStringLiteral("deviceInfoPage"));
        namedChild<QPushButton>(&page, opener.toLatin1().constData())->click();
        QCOMPARE(currentName(&page, stack.toLatin1().constData()), panel);

        model.removeDevice(QStringLiteral("B")); // flashed or unplugged
        QCOMPARE(currentName(&page, stack.toLatin1().constData()), panel);
        model.removeDevice(QStringLiteral("A"));
        QCOMPARE(currentName(&page, stack.toLatin1().constData()), panel);
        QVERIFY(!list->selectionModel()->hasSelection());
        list->setCurrentIndex(model.index(0, 0));
        if (!pickOpensInformation) {
            QCOMPARE(currentName(&page, stack.toLatin1().constData()), panel);
            return;
        }
        // A device the operator picks opens its information.
        QCOMPARE(currentName(&page, "mainPageStackedWidget"), QStringLiteral("devicePage"));
        QCOMPARE(currentName(&page, "stackedWidget"), QStringLiteral("deviceInfoPage"));
    }

    // The devices selected in the list are the ones upgraded, and the panel
    // names them; none selected means all. Their names are shown as text, never
    // read as markup.
    void firmwarePanelUpgradesTheChosenDevices_data()
    {
        QTest::addColumn<bool>("express");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<QString>("says");
        const QString two = QStringLiteral("on the 2 selected device(s): <b>Hall</b>, Roof");
        QTest::newRow("main: none selected") << false << QList<int>() << QStringList() << "on all attached devices     ";
        QTest::newRow("main: two selected") << false << QList<int>{0, 2} << QStringList{"A", "C"} << two;
        QTest::newRow("express: none selected") << true << QList<int>() << QStringList() << "on all attached devices     ";
        QTest::newRow("express: two selected") << true << QList<int>{2, 0} << QStringList{"A", "C"} << two;
        QTest::newRow("express: unnamed") << true << QList<int>{1} << QStringList{"B"}
                                          << "on the 1 selected device(s): B";
    }
    void firmwarePanelUpgradesTheChosenDevices()
    {
        QFETCH(bool, express);
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, serials);
        QFETCH(QString, says);
        const QString path = m_dir.filePath(QStringLiteral("chosen.dfu"));
        QFile dfu(path);
        QVERIFY(dfu.open(QIODevice::WriteOnly));
        DevicesModel model;
        DeviceInfo a = device(QStringLiteral("A")), b = device(QStringLiteral("B")), c = device(QStringLiteral("C"));
        a.setValue(DeviceInfo::Name, QStringLiteral("<b>Hall</b>"));
        b.setValue(DeviceInfo::Name, QString());
        c.setValue(DeviceInfo::Name, QStringLiteral("Roof"));
        model.addDevices({a, b, c});
        MainPage mainPage;
        DfuPage dfuPage;
        BasePage *page = express ? static_cast<BasePage *>(&dfuPage) : &mainPage;
        page->setDevicesModel(&model);
        page->show();
        namedChild<QPushButton>(page, "firmwareBtn")->click();
        express ? dfuPage.setFirmwareFile(path) : mainPage.setFirmwareFile(path);
        auto *list = namedChild<QListView>(page, "devicesListView");
        for (int row : rows)
            list->selectionModel()->select(model.index(row, 0), QItemSelectionModel::Select);
        // The panel stays, and says which devices it will upgrade.
        QCOMPARE(currentName(page, express ? "contentStackedWidget" : "stackedWidget"),
                 express ? QStringLiteral("dfuPage") : QStringLiteral("fwUpdatePage"));
        auto *targets = namedChild<QLabel>(page, "upgradeTargetsLbl");
        QCOMPARE(targets->text(), says);
        QCOMPARE(targets->textFormat(), Qt::PlainText);

        QSignalSpy upgrades(page, SIGNAL(upgradeFirmwareTriggered(QString, QStringList)));
        namedChild<QPushButton>(page, "upgradeFirmwareButton")->click();
        QCOMPARE(upgrades.count(), 1);
        QCOMPARE(upgrades.at(0).at(1).toStringList(), serials);

        // How the run goes, under the last step.
        auto *progress = namedChild<QLabel>(page, "fwProgressLbl");
        QVERIFY(progress->isHidden());
        page->showFirmwareProgress(QStringLiteral("1 of 2 upgraded, about 3 min left"));
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->text(), QStringLiteral("1 of 2 upgraded, about 3 min left"));
    }

    void longValuesDoNotWidenTheWindow()
    {
        const QString name = QStringLiteral("Reception desk, ground floor, ").repeated(4); // 120 characters
        QCOMPARE(name.size(), 120);
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::Name, name);
        info.setValue(DeviceInfo::Label, name);
        info.setValue(DeviceInfo::Location, name);
        info.setValue(DeviceInfo::PersonName, name);
        model.addDevices({info});
        UserInfo user;
        user.fullname = name;
        user.email = QStringLiteral("a.very.long.address.for.a.manager@") + QString(80, QLatin1Char('x')) + ".example";
        user.companyName = name;
        const QString file = QStringLiteral("/tmp/") + QString(150, QLatin1Char('f')) + QStringLiteral(".dfu");

        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setUserInfo(&user);
        window.showMainPage();
        window.setDevicesModel(&model);
        window.mainPage()->setFirmwareFile(file);
        window.dfuPage()->setFirmwareFile(file);
        namedChild<QListView>(window.mainPage(), "devicesListView")->setCurrentIndex(model.index(0, 0));
        QCoreApplication::processEvents();

        QCOMPARE(window.size(), QSize(1100, 700));
        // Room to spare: the window can still be made narrower.
        QVERIFY2(window.minimumSizeHint().width() <= 1000, qPrintable(QString::number(window.minimumSizeHint().width())));
        // Shortened on screen; the whole value is one hover away, and is what a
        // screen reader and a copy get.
        auto *value = namedChild<QLabel>(window.mainPage(), "infoNameValue");
        QCOMPARE(value->text(), name);
        QCOMPARE(value->toolTip(), name);
        QVERIFY(value->width() < value->fontMetrics().horizontalAdvance(name));
        QCOMPARE(namedChild<QLabel>(window.mainPage(), "userNameLabel")->toolTip(), name);
        QCOMPARE(namedChild<QPushButton>(window.dfuPage(), "selectedDfuButton")->toolTip(),
                 QFileInfo(file).fileName());
    }

    void firmwareStepsSitBesideTheirButtons()
    {
        MainWindow window;
        window.showMainPage();
        MainPage *page = window.mainPage();
        page->openFirmwarePage();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const struct {
            const char *button;
            const char *text;
        } steps[] = {{"downloadButton", "latest Firmware File"},
                     {"selectButton", "Firmware File after"},
                     {"upgradeFirmwareButton", "on all attached devices"}};
        QList<QRect> rows;
        for (const auto &step : steps) {
            const QPushButton *button = namedChild<QPushButton>(page, step.button);
            const QLabel *text = labelStartingWith(page, QLatin1String(step.text));
            const int gap = text->mapTo(page, QPoint(0, 0)).x() - button->mapTo(page, QPoint(button->width(), 0)).x();
            QVERIFY2(gap >= 0 && gap <= 16, qPrintable(QStringLiteral("%1: %2 px").arg(step.button).arg(gap)));
            rows << (QRect(button->mapTo(page, QPoint(0, 0)), button->size())
                     | QRect(text->mapTo(page, QPoint(0, 0)), text->size()));
        }
        // One step right under the other: no empty row between two of them.
        const int first = rows[1].top() - rows[0].bottom();
        const int second = rows[2].top() - rows[1].bottom();
        QVERIFY2(first <= 20 && second <= 20 && qAbs(first - second) <= 4,
                 qPrintable(QStringLiteral("%1 px, %2 px").arg(first).arg(second)));
        // The chosen file is named, not dressed as a link that cannot be followed.
        auto *chosen = namedChild<QLabel>(page, "fwFileNameLabel");
        page->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
        QCOMPARE(chosen->text(), QStringLiteral("tamo-firmware-1.6.0.dfu"));
        QVERIFY(chosen->isVisible());
        QVERIFY(!chosen->font().underline());
    }

    void titlesLineUp()
    {
        MainWindow window;
        window.showMainPage();
        window.mainPage()->openDeviceInfo();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QWidget *page = window.mainPage();
        const int deviceInfo = textLeft(page, namedChild<QLabel>(page, "deviceInfoLabel"));
        QCOMPARE(textLeft(page, namedChild<QLabel>(page, "logLbl")), deviceInfo);
        window.mainPage()->openFirmwarePage();
        QCOMPARE(textLeft(page, namedChild<QLabel>(page, "fwUpdateLabel")), deviceInfo);
    }

    void everyControlHasANameAndTheMainOnesAKey()
    {
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::Status, 1);
        info.setValue(DeviceInfo::JobDone, 3);
        info.setValue(DeviceInfo::JobTotal, 9);
        info.setValue(DeviceInfo::LastError, QStringLiteral("Device response is to short"));
        model.addDevices({info});
        MainWindow window;
        window.setDevicesModel(&model);
        window.dfuPage()->setFirmwareFile(QStringLiteral("/tmp/tamo-firmware-1.6.0.dfu"));
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            if (!qobject_cast<QAbstractButton *>(widget) && !qobject_cast<QLineEdit *>(widget))
                continue;
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(widget->objectName() + QLatin1Char(' ') + widget->metaObject()->className()));
        }
        // The card says what it shows.
        auto *list = namedChild<QListView>(window.mainPage(), "devicesListView");
        QAccessibleInterface *cards = QAccessible::queryAccessibleInterface(list);
        QVERIFY(cards && cards->tableInterface());
        const QString card = cards->tableInterface()->cellAt(0, 0)->text(QAccessible::Name);
        for (const char *part : {"Reception", "status: transferring", "3 of 9 items", "Device response is to short"})
            QVERIFY2(card.contains(QLatin1String(part)), qPrintable(card));

        // Alt and a letter press the buttons an operator uses most; one letter a page.
        const QList<QPair<QWidget *, QStringList>> pages{
            {window.loginPage(), {"loginButton", "fwButton"}},
            {window.mainPage(), {"logoutButton", "firmwareBtn", "downloadButton", "selectButton", "upgradeFirmwareButton"}},
            {window.dfuPage(), {"loginButton", "firmwareBtn", "downloadButton", "selectButton", "upgradeFirmwareButton"}}};
        for (const auto &page : pages) {
            QSet<int> keys;
            for (const QString &name : page.second) {
                const QKeySequence key = QKeySequence::mnemonic(
                    namedChild<QAbstractButton>(page.first, name.toLatin1().constData())->text());
                QVERIFY2(!key.isEmpty(), qPrintable(name));
                QVERIFY2(!keys.contains(key[0]), qPrintable(name));
                keys.insert(key[0]);
            }
        }
    }

    void cardTexts_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QString>("expected");
        const QVariant none;
        QTest::newRow("battery reported") << int(DeviceInfo::Battery) << QVariant(80) << "1.5.90" << "Battery:  80%";
        QTest::newRow("battery zero") << int(DeviceInfo::Battery) << QVariant(0) << "1.5.90" << "Battery:  0%";
        QTest::newRow("1.5.87 cannot report") << int(DeviceInfo::Battery) << none << "1.5.87"
                                              << "Battery:  [please upgrade FW]";
        QTest::newRow("1.5.88 can") << int(DeviceInfo::Battery) << none << "1.5.88" << "Battery:  [try again]";
        QTest::newRow("1.5.100 is newer, not older") << int(DeviceInfo::Battery) << none << "1.5.100"
                                                     << "Battery:  [try again]";
        QTest::newRow("unknown version") << int(DeviceInfo::Battery) << none << QString()
                                         << "Battery:  [please upgrade FW]";
        QTest::newRow("brightness") << int(DeviceInfo::Brightness) << QVariant(55) << "1.5.90" << "Brightness:  55%";
        QTest::newRow("dim level is not the brightness") << int(DeviceInfo::DimLevel) << QVariant(10) << "1.5.90"
                                                         << "Brightness:  [try again]";
        QTest::newRow("empty name") << int(DeviceInfo::Name) << QVariant(QString()) << "1.5.90"
                                    << "Device name:  [try again]";
        QTest::newRow("empty firmware") << int(DeviceInfo::FwVersion) << none << QString()
                                        << "FW version:  [try again]";
        QTest::newRow("status lower-cased") << int(DeviceInfo::Status) << QVariant(3) << "1.5.90"
                                            << "Status: upgrading device firmware";
        QTest::newRow("status absent reads connected") << int(DeviceInfo::Brightness) << none << "1.5.90"
                                                       << "Status: connected";
        QTest::newRow("flashed, off the bus") << int(DeviceInfo::Status) << QVariant(5) << "1.5.90"
                                              << "Status: restarting";
        QTest::newRow("upgrade waits for its turn") << int(DeviceInfo::Status) << QVariant(6) << "1.5.90"
                                                    << "Status: waiting for firmware";
    }

    void cardTexts()
    {
        QFETCH(int, key);
        QFETCH(QVariant, value);
        QFETCH(QString, firmware);
        QFETCH(QString, expected);
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::FwVersion, firmware);
        if (value.isValid())
            info.setValue(key, value);
        model.addDevices({info});
        const QStringList lines = DeviceListDelegate::cardLines(model.index(0, 0), DeviceListDelegate::FullCard);
        QVERIFY2(lines.contains(expected), qPrintable(lines.join(QLatin1Char('|'))));
    }

    void sizeHints()
    {
        DevicesModel model;
        model.addDevices({device(QStringLiteral("A"))});
        QFont nine = QApplication::font();
        nine.setPointSize(9);
        model.setFont(nine);
        QFont seven = QApplication::font();
        seven.setPointSize(7);
        const int small = QFontMetrics(seven).height();
        const int line = QFontMetrics(nine).height();

        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 333, 20);
        const DeviceListDelegate full(DeviceListDelegate::FullCard);
        const DeviceListDelegate brief(DeviceListDelegate::ShortCard);
        // The status has a line of its own in the values' font.
        QCOMPARE(full.sizeHint(option, model.index(0, 0)), QSize(333, small + 5 * line + 12));
        QCOMPARE(brief.sizeHint(option, model.index(0, 0)), QSize(333, 4 * line + 12));

        // A taller picture decides the height.
        QPixmap tall(40, 200);
        tall.fill(Qt::gray);
        model.setDecoration(tall);
        QCOMPARE(full.sizeHint(option, model.index(0, 0)).height(), 212);
    }

    void selectionAndNewMark()
    {
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::NotActivated, true);
        model.addDevices({info});
        const QImage plain = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), false);
        const QImage selected = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), true);
        QCOMPARE(plain.pixelColor(1, 1), QColor(Qt::white));
        QCOMPARE(selected.pixelColor(1, 1), QColor(237, 237, 237));

        // "NEW" sits at the top right, in green, on the main page's card only.
        const QRect topRight(plain.width() - 80, 0, 80, 30);
        QVERIFY(containsColor(plain, QColor(15, 188, 15), topRight));
        const QImage brief = render(DeviceListDelegate(DeviceListDelegate::ShortCard), model.index(0, 0), false);
        QVERIFY(!containsColor(brief, QColor(15, 188, 15), brief.rect()));
        model.setValue(0, QStringLiteral("A"), DeviceInfo::NotActivated, false);
        const QImage activated = render(DeviceListDelegate(DeviceListDelegate::FullCard), model.index(0, 0), false);
        QVERIFY(!containsColor(activated, QColor(15, 188, 15), activated.rect()));
    }

    void progressAndToolTip_data()
    {
        QTest::addColumn<QVariant>("done");
        QTest::addColumn<QVariant>("total");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("bar");
        QTest::addColumn<QString>("tip");
        const QVariant none;
        QTest::newRow("no job, no error") << none << none << 0 << QString() << false << QString();
        QTest::newRow("transfer") << QVariant(3) << QVariant(9) << 1 << QString() << true << "Sent 3 of 9 items";
        QTest::newRow("firmware download") << QVariant(50) << QVariant(100) << 3 << QString() << true
                                           << "Firmware download: 50%";
        QTest::newRow("nothing planned") << QVariant(0) << QVariant(0) << 1 << QString() << false << QString();
        QTest::newRow("deleting") << none << none << 2 << QString() << false << QString();
        QTest::newRow("last error, shown as text") << none << none << 4 << "Port <b>lost</b>" << false
                                                   << "Last error: Port <b>lost</b>";
        QTest::newRow("both") << QVariant(1) << QVariant(2) << 1 << "time-out" << true
                              << "Sent 1 of 2 items\nLast error: time-out";
    }

    void progressAndToolTip()
    {
        QFETCH(QVariant, done);
        QFETCH(QVariant, total);
        QFETCH(int, status);
        QFETCH(QString, error);
        QFETCH(bool, bar);
        QFETCH(QString, tip);
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        info.setValue(DeviceInfo::Status, status);
        info.setValue(DeviceInfo::JobDone, done);
        info.setValue(DeviceInfo::JobTotal, total);
        info.setValue(DeviceInfo::FwVersion, QStringLiteral("1.5.20")); // the longest battery text
        if (!error.isEmpty())
            info.setValue(DeviceInfo::LastError, error);
        model.addDevices({info});
        QCOMPARE(DeviceListDelegate::toolTipText(model.index(0, 0)), tip);
        // Long levels never push the status dot off a narrow card.
        for (int width : {420, 300}) {
            for (int mode : {DeviceListDelegate::FullCard, DeviceListDelegate::ShortCard}) {
                const QImage image = render(DeviceListDelegate(mode), model.index(0, 0), false, QSize(width, 0));
                QCOMPARE(containsColor(image, DeviceListDelegate::ProgressColor, image.rect()), bar);
                if (mode == DeviceListDelegate::FullCard)
                    QVERIFY(containsColor(image, DeviceListDelegate::statusColor(status), image.rect()));
            }
        }
        QCOMPARE(DeviceListDelegate::statusColor(7).alpha(), 0); // an unknown status draws nothing
    }

    void statusLineIsReadableAndSaysWhyItFailed_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("full card") << int(DeviceListDelegate::FullCard);
        QTest::newRow("short card") << int(DeviceListDelegate::ShortCard);
    }

    void statusLineIsReadableAndSaysWhyItFailed()
    {
        QFETCH(int, mode);
        DevicesModel model;
        DeviceInfo info = device(QStringLiteral("A"));
        model.addDevices({info});
        QFont nine = QApplication::font();
        nine.setPointSize(9);
        model.setFont(nine);
        const QModelIndex index = model.index(0, 0);
        // The status text runs right of its dot, as wide as the values' font makes it.
        QImage card = render(DeviceListDelegate(mode), index, false, QSize(600, 0));
        QRect dot = boxOf(card, DeviceListDelegate::statusColor(0));
        QVERIFY(!dot.isNull());
        const int width = rightmostInk(card, dot.top() - 3, dot.bottom() + 3, dot.right() + 1) - dot.right();
        const int expected = QFontMetrics(nine).horizontalAdvance(DeviceListDelegate::statusLine(index));
        QVERIFY2(width >= expected * 9 / 10, qPrintable(QStringLiteral("%1 of %2 px").arg(width).arg(expected)));

        // A failure names its reason on the card, cut to the card's width.
        const QString reason = QStringLiteral("Device response is to short, and a lot more detail about it");
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, int(DeviceInfo::Error));
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::LastError, reason);
        QCOMPARE(DeviceListDelegate::statusLine(index), QStringLiteral("Status: error: ") + reason);
        QVERIFY(DeviceListDelegate::cardLines(index, mode).contains(QStringLiteral("Status: error: ") + reason));
        card = render(DeviceListDelegate(mode), index, false, QSize(300, 0));
        dot = boxOf(card, DeviceListDelegate::statusColor(DeviceInfo::Error));
        QVERIFY(!dot.isNull());
        const int end = rightmostInk(card, dot.top() - 3, dot.bottom() + 3, dot.right() + 1);
        QVERIFY2(end > dot.right() + 100 && end < card.width() - 8, qPrintable(QString::number(end)));
        // A reason from earlier does not follow a device that works again.
        model.setValue(DeviceInfo::SerialNumber, QStringLiteral("A"), DeviceInfo::Status, int(DeviceInfo::Connected));
        QCOMPARE(DeviceListDelegate::statusLine(index), QStringLiteral("Status: connected"));
    }

    void logLinesKeepMacAddressesWhole()
    {
        const QString head = QStringLiteral("Reading MAC from device");
        const QString mac = QStringLiteral("c4:4f:33:0a:0b:01");
        QStandardItemModel logs;
        logs.appendRow(new QStandardItem(head + QLatin1Char(' ') + mac));
        const LogsDelegate delegate;
        const QFontMetrics metrics(QApplication::font());
        // Room for the words and half of the address on the first line.
        const int width = metrics.horizontalAdvance(head + QStringLiteral(" c4:4f:33:")) + 12;
        QVERIFY(width < metrics.horizontalAdvance(head + QLatin1Char(' ') + mac));
        const QImage row = render(delegate, logs.index(0, 0), false, QSize(width, 0));
        QVERIFY(row.height() >= 2 * metrics.height()); // two lines
        // The first line holds the words only: the address moved down whole.
        const int firstLineEnd = rightmostInk(row, LogsDelegate::kRowPadding,
                                              LogsDelegate::kRowPadding + metrics.ascent(), 0);
        QVERIFY2(firstLineEnd <= metrics.horizontalAdvance(head) + 8,
                 qPrintable(QStringLiteral("%1 > %2").arg(firstLineEnd).arg(metrics.horizontalAdvance(head))));
        QVERIFY(darkPixels(row) > 0);
    }

    void logRowsDrawTheirMarkup_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lessInk");
        QTest::newRow("bold is drawn, not shown") << "<b>plain words only</b>" << "plain words only";
        // Values reach the log escaped; an escaped comment opener must not swallow the warning.
        QTest::newRow("escaped comment opener") << "Device '&lt;!--' <b>Do not unplug</b>"
                                                << "Device '' <b>Do not unplug</b>";
        QTest::newRow("escaped picture tag") << "Device '&lt;img src=x&gt;'" << "Device ''";
    }

    void logRowsDrawTheirMarkup()
    {
        QFETCH(QString, text);
        QFETCH(QString, lessInk);
        QStandardItemModel logs;
        logs.appendRow(new QStandardItem(text));
        logs.appendRow(new QStandardItem(lessInk));
        const LogsDelegate delegate;
        const QImage image = render(delegate, logs.index(0, 0), false, QSize(400, 40));
        const QImage reference = render(delegate, logs.index(1, 0), false, QSize(400, 40));
        QVERIFY(darkPixels(reference) > 0);
        QVERIFY(darkPixels(image) > darkPixels(reference));
    }

    void logRowHeights_data()
    {
        QTest::addColumn<int>("lines");
        QTest::newRow("one line with descenders") << 1;
        QTest::newRow("three wrapped lines") << 3;
    }

    void logRowHeights()
    {
        QFETCH(int, lines);
        const int width = 300;
        const QFontMetrics metrics(QApplication::font());
        // Short words, so that wrapping loses little: 2.5 widths of text fill three lines.
        QString text = QStringLiteral("gjpq");
        while (lines > 1 && metrics.horizontalAdvance(text) < width * 5 / 2)
            text += QStringLiteral(" gjpq");
        QStandardItemModel logs;
        logs.appendRow(new QStandardItem(text));
        const LogsDelegate delegate;
        const QImage row = render(delegate, logs.index(0, 0), false, QSize(width, 0));
        const int textHeight = row.height() - 2 * LogsDelegate::kRowPadding;
        QVERIFY2(textHeight >= lines * metrics.height() && textHeight < (lines + 1) * metrics.height(),
                 qPrintable(QString::number(row.height())));
        // Nothing is cut off: a taller rectangle shows no more ink.
        const QImage roomy = render(delegate, logs.index(0, 0), false, QSize(width, row.height() + 40));
        QCOMPARE(darkPixels(row), darkPixels(roomy));
    }

    void appendingALogRowMeasuresOnlyThatRow()
    {
        QStringListModel logs;
        QStringList rows;
        for (int i = 0; i < 300; ++i)
            rows << QStringLiteral("line %1 with <b>some</b> words").arg(i);
        logs.setStringList(rows);
        QListView view;
        view.setModel(&logs);
        const LogsDelegate *delegate = LogsDelegate::install(&view);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(delegate->measurements() >= 300);
        QTest::qWait(300); // the scroll bar's arrival narrows the rows: measured once more
        const int before = delegate->measurements();
        logs.insertRows(logs.rowCount(), 1);
        logs.setData(logs.index(logs.rowCount() - 1), QStringLiteral("one more"));
        view.scrollToBottom();
        QTest::qWait(50);
        QCOMPARE(delegate->measurements() - before, 1);
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_ui_widgets.moc"
