// The pages as an operator uses them: the login checks and the inputs held while
// a login runs, the default-location editor, the help tip's first start, the
// firmware panels' errors, the express page's return to its welcome text, and
// which page collects the activity log.
#include "AppPaths.h"
#include "BasePage.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "EditableText.h"
#include "LocalSettings.h"
#include "LogCategories.h"
#include "LogMessageHandler.h"
#include "LoginPage.h"
#include "MainPage.h"
#include "MainWindow.h"
#include "NamedChild.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
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
    return info;
}

} // namespace

class TestPages : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void init() { QFile::remove(AppPaths::settingsFilePath()); }

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
        QTest::newRow("domain without a dot") << "op@acme" << "Op-Pass-1" << "button" << "Invalid email address.";
        QTest::newRow("picture extension after the first label") << "op@acme.png" << "Op-Pass-1" << "button"
                                                                 << "Invalid email address.";
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
        QCOMPARE(window.windowTitle(), QStringLiteral("TAMO Halvic - Desktop App (1.0.95)"));
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
        QSignalSpy upgrades(page, SIGNAL(upgradeFirmwareTriggered(QString)));

        auto *upgrade = namedChild<QPushButton>(page, "upgradeFirmwareButton");
        upgrade->click();
        if (error.isEmpty()) {
            QCOMPARE(upgrades.count(), 1);
            QCOMPARE(upgrades.at(0).at(0).toString(), path);
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
};

QTEST_MAIN(TestPages)
#include "tst_ui_pages.moc"
