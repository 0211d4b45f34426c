#include "MainApp.h"

#include "CustomMessageBox.h"
#include "DevicesManager.h"
#include "DfuPageManager.h"
#include "MainWindow.h"
#include "UserInfo.h"

#include <QCloseEvent>
#include <QEvent>

const QString MainApp::TerminateQuestionText =
    QStringLiteral("Device operations is in progress! Are you sure you want to terminate this process?");

MainApp::MainApp(QObject *parent)
    : QObject(parent)
    , m_window(new MainWindow)
    , m_devices(new DevicesManager(this))
    , m_network(new NetworkManager(this))
{
    connect(m_network, &NetworkManager::imageDownloaded, this, &MainApp::slotImageDownloaded, Qt::UniqueConnection);
    connect(m_window, &MainWindow::upgradeFirmwareTriggered, m_devices,
            qOverload<const QString &>(&DevicesManager::upgradeFirmware));
    connect(m_window, &MainWindow::downloadFileTriggered, m_network, &NetworkManager::downloadFirmwareFile);
    connect(m_network, &NetworkManager::fileDownloaded, this, &MainApp::slotFileDownloaded, Qt::UniqueConnection);
    connect(m_devices, &DevicesManager::allDevicesUpgraded, m_window, &MainWindow::enableFirmwareButtons);
    connect(m_network, &NetworkManager::logined, this, &MainApp::onLogined);
    connect(m_network, &NetworkManager::logouted, m_window, &MainWindow::showLoginPage);
    connect(m_network, &NetworkManager::companyInfoLoaded, this, &MainApp::slotCompanyInfoLoaded,
            Qt::UniqueConnection);
    m_window->installEventFilter(this);
}

MainApp::~MainApp()
{
    delete m_window;
}

void MainApp::start()
{
    connect(m_window, &MainWindow::login, m_network, &NetworkManager::login);
    connect(m_window, &MainWindow::logout, this, &MainApp::onLogout);
    connect(m_window, &MainWindow::logoutDfu, this, &MainApp::onLogout);
    connect(m_window, &MainWindow::dfuTriggered, this, &MainApp::slotDfuPage, Qt::UniqueConnection);
    m_window->show();
}

void MainApp::onLogined(bool success, const QString &errorString)
{
    m_window->setLoginInputsEnabled(true);
    if (!success) {
        CustomMessageBox::showMessage(m_window, CustomMessageBox::CriticalIcon, tr("Login error"), errorString,
                                      QMessageBox::Close, QMessageBox::Close);
        return;
    }
    m_mode = Mode::LoggedIn;
    const UserInfo *user = m_network->userInfo();
    if (user && user->companyId > 0)
        m_network->loadCompanyInfo(user->companyId);
    m_window->setUserInfo(user);
    m_window->showMainPage();
    m_window->setDevicesModel(m_devices->devicesModel());
    m_network->downloadImage(NetworkManager::CompanyLogoKey);
    m_devices->startTracking();
}

void MainApp::slotImageDownloaded(bool success, NetworkManager::DataType type, QPixmap image, QString errorString)
{
    Q_UNUSED(errorString)
    // A logo that arrives after a logout belongs to nobody on screen.
    if (success && type == NetworkManager::CompanyLogoKey && m_mode == Mode::LoggedIn)
        m_window->setLogo(image);
}

void MainApp::slotFileDownloaded(bool success, NetworkManager::DataType type, QString path, QString errorString)
{
    if (success)
        CustomMessageBox::showMessage(m_window, CustomMessageBox::SuccessIcon, tr("Success"),
                                      tr("File %1 downloaded.").arg(path), QMessageBox::Ok, QMessageBox::Ok);
    else
        CustomMessageBox::showMessage(m_window, CustomMessageBox::ErrorIcon, tr("Error"),
                                      tr("Failed to download dfu file with error: %1").arg(errorString),
                                      QMessageBox::Ok, QMessageBox::Ok);
    if (type == NetworkManager::FirmwareFileKey)
        m_window->setDownloadButtonEnabled(true);
}

void MainApp::slotCompanyInfoLoaded()
{
    if (m_mode == Mode::LoggedIn)
        m_window->setUserInfo(m_network->userInfo());
}

void MainApp::slotDfuPage()
{
    detachPageManager();
    m_dfuPageManager = new DfuPageManager(this);
    m_dfuPageManager->setup(m_devices, m_network);
    m_mode = Mode::Express;
    m_window->showDfuPage();
    m_window->setDevicesModel(m_devices->devicesModel());
    m_devices->startTracking();
}

bool MainApp::confirmTermination()
{
    if (m_devices->isIdle())
        return false;
    const QMessageBox::StandardButton answer =
        CustomMessageBox::showMessage(m_window, CustomMessageBox::ErrorIcon, tr("Error"), TerminateQuestionText,
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    // Escape, or closing the question, is a No as well.
    if (answer != QMessageBox::Yes)
        return true;
    m_devices->stopAll();
    return false;
}

void MainApp::onLogout()
{
    if (confirmTermination())
        return;
    m_network->logout();
    m_devices->reset();
    detachPageManager();
    m_mode = Mode::LoginShown;
}

void MainApp::detachPageManager()
{
    if (!m_dfuPageManager)
        return;
    m_dfuPageManager->setup(nullptr, nullptr);
    m_dfuPageManager->deleteLater();
    m_dfuPageManager = nullptr;
}

bool MainApp::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close && confirmTermination()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
