#pragma once

#include <QMainWindow>

class DevicesModel;
class DfuPage;
class LoginPage;
class MainPage;
class QLabel;
class QStackedWidget;
struct UserInfo;

// The application's only window: it stacks the login page, the main page and
// the express firmware page, shows one at a time, hands the pages' user intents
// to the controller as its own signals, and lets the controller change pages
// and feed them data. Only the page shown is enabled and collects activity-log
// lines.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static const QString WindowTitle; // "TAMO Halvic - Desktop App (1.0.95)"

    explicit MainWindow(QWidget *parent = nullptr);

    void showLoginPage();
    void showMainPage();
    void showDfuPage();
    // A null record is ignored.
    void setUserInfo(const UserInfo *user);
    // Gives the model the device picture and the card font, then both work pages get it.
    void setDevicesModel(DevicesModel *model);
    void setLogo(const QPixmap &logo);
    void setLoginInputsEnabled(bool enabled);
    void setDownloadButtonEnabled(bool enabled);
    void enableFirmwareButtons();
    // The overall progress of the firmware upgrades, on both firmware panels.
    void setFirmwareProgress(const QString &text);
    // While the application waits for a firmware download to end before it
    // quits: the pages are disabled and the notice says why.
    void showShutdownNotice(const QString &text);
    bool isShuttingDown() const;
    // A second start of the application: the window comes to the front, out of
    // the task bar if need be.
    void bringToFront();

    LoginPage *loginPage() const { return m_loginPage; }
    MainPage *mainPage() const { return m_mainPage; }
    DfuPage *dfuPage() const { return m_dfuPage; }

signals:
    void login(QString user, QString password);
    void logout();
    void logoutDfu();
    void downloadFileTriggered(QString downloadFilePath, bool withAuth = true);
    // The chosen devices by serial number; none means all of them.
    void upgradeFirmwareTriggered(QString dfuFileName, QStringList serials);
    void dfuTriggered();

public slots:
    void slotShowErrorMessage(const QString &errMessage);
    void slotCurrentPageChanged(int index);

private:
    void connectPages();

    QStackedWidget *m_stack;
    LoginPage *m_loginPage;
    MainPage *m_mainPage;
    DfuPage *m_dfuPage;
    QLabel *m_shutdownNotice;
};
