#include "MainApp.h"

#include "CustomMessageBox.h"
#include "DevicesManager.h"
#include "DfuPageManager.h"
#include "MainPage.h"
#include "MainWindow.h"
#include "PublishingSession.h"
#include "UserInfo.h"

#include <QCloseEvent>
#include <QEvent>

const QString MainApp::TerminateQuestionText =
    QStringLiteral("Device operations is in progress! Are you sure you want to terminate this process?");
const QString MainApp::ShutdownNoticeText =
    QStringLiteral("A device is writing its firmware. The application closes as soon as it has finished; "
                   "do not unplug the device.");

MainApp::MainApp(QObject *parent)
    : QObject(parent)
    , m_window(new MainWindow)
    , m_devices(new DevicesManager(this))
    , m_network(new NetworkManager(this))
{
    connect(m_network, &NetworkManager::imageDownloaded, this, &MainApp::slotImageDownloaded, Qt::UniqueConnection);
    connect(m_window, &MainWindow::upgradeFirmwareTriggered, this, &MainApp::upgradeFirmware);
    connect(m_devices, &DevicesManager::firmwareRunProgress, m_window,
            [this](int, int, const QString &text) { m_window->setFirmwareProgress(text); });
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
    endSession();
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

// The devices chosen on a page, or all of them. When none of them can take an
// upgrade now (each is restarting, away or upgrading already) no run starts, and
// the page's button would wait for its end in vain.
void MainApp::upgradeFirmware(const QString &filePath, const QStringList &serials)
{
    const QStringList accepted = serials.isEmpty() ? m_devices->upgradeFirmware(filePath)
                                                   : m_devices->upgradeFirmware(filePath, serials);
    if (!accepted.isEmpty())
        return;
    if (!m_devices->isFirmwareRunning())
        m_window->enableFirmwareButtons();
    m_window->slotShowErrorMessage(MainPage::NoDevicesText);
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
    // A repeated login signal replaces the session: one chef, one heartbeat.
    endSession();
    m_session = new PublishingSession(m_devices, m_network, this);
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
    // Shown after the manager's news has gone round, not in the middle of it.
    connect(m_dfuPageManager, &DfuPageManager::upgradesConfirmed, this, &MainApp::confirmUpgrades,
            Qt::QueuedConnection);
    m_mode = Mode::Express;
    m_window->showDfuPage();
    m_window->setDevicesModel(m_devices->devicesModel());
    m_devices->startTracking();
}

void MainApp::confirmUpgrades(const QString &text, bool allUpgraded)
{
    if (m_mode != Mode::Express || m_window->isShuttingDown())
        return;
    CustomMessageBox::showMessage(m_window, allUpgraded ? CustomMessageBox::SuccessIcon : CustomMessageBox::ErrorIcon,
                                  tr("Firmware upgrade"), text, QMessageBox::Ok, QMessageBox::Ok);
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
    endSession();
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

// Deleted at once: the session detaches its chef and stops its heartbeat on the
// way out, so no slot of it runs once the managers move on.
void MainApp::endSession()
{
    delete m_session;
    m_session = nullptr;
}

// Destroying the devices manager under a running dfu-util would cut the
// download off and leave the device half flashed; the queued devices were
// dropped by the guard, the running one ends by itself or by its time-out.
void MainApp::closeWhenFirmwareIdle()
{
    connect(m_devices, &DevicesManager::firmwareIdle, m_window, &QWidget::close, Qt::UniqueConnection);
    endSession();
    m_window->showShutdownNotice(ShutdownNoticeText);
}

bool MainApp::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close)
        return QObject::eventFilter(watched, event);
    bool stay = false;
    if (m_window->isShuttingDown()) {
        stay = m_devices->isFirmwareRunning();
    } else if (confirmTermination()) {
        stay = true;
    } else if (m_devices->isFirmwareRunning()) {
        closeWhenFirmwareIdle();
        stay = true;
    }
    qDebug("Closing the window: %s", stay ? "it stays open for now" : "the application ends");
    if (stay) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
