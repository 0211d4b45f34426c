#include "MainWindow.h"

#include "CustomMessageBox.h"
#include "DevicesModel.h"
#include "DfuPage.h"
#include "LoginPage.h"
#include "MainPage.h"
#include "UiResources.h"
#include "WindowLook.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>

const QString MainWindow::WindowTitle = QStringLiteral("TAMO Halvic - Desktop App (1.0.95)");

namespace {

QString downloadsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_stack(new QStackedWidget)
    , m_loginPage(new LoginPage)
    , m_mainPage(new MainPage)
    , m_dfuPage(new DfuPage)
    , m_shutdownNotice(new QLabel)
{
    UiResources::ensureLoaded();
    setObjectName(QStringLiteral("MainWindow"));
    WindowLook::apply();
    QIcon icon;
    for (int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/img/app-icon-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    resize(1100, 700);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralwidget"));
    auto *layout = new QVBoxLayout(central);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_shutdownNotice->setObjectName(QStringLiteral("shutdownNotice"));
    m_shutdownNotice->setWordWrap(true);
    m_shutdownNotice->setStyleSheet(QStringLiteral(
        "background: #ffa932; color: #3a3a3a; font-size: 14px; font-weight: bold; padding: 8px 15px;"));
    m_shutdownNotice->hide();
    layout->addWidget(m_shutdownNotice);
    m_stack->setObjectName(QStringLiteral("stackedWidget"));
    m_loginPage->setObjectName(QStringLiteral("loginPage"));
    m_mainPage->setObjectName(QStringLiteral("mainPage"));
    m_dfuPage->setObjectName(QStringLiteral("dfuPage"));
    m_stack->addWidget(m_loginPage);
    m_stack->addWidget(m_mainPage);
    m_stack->addWidget(m_dfuPage);
    layout->addWidget(m_stack);
    setCentralWidget(central);

    setWindowTitle(WindowTitle);
    m_loginPage->setStyleSheet(UiResources::styleSheet({QStringLiteral("loginpage.css"),
                                                        QStringLiteral("windows_loginpage.css")}));
    const QString workPages = UiResources::styleSheet({QStringLiteral("mainpage.css")});
    m_mainPage->setStyleSheet(workPages);
    m_dfuPage->setStyleSheet(workPages);
    connectPages();
    setFocusPolicy(Qt::StrongFocus);
    // Ready to type as soon as the window opens.
    m_loginPage->clearInputs();
}

void MainWindow::connectPages()
{
    connect(m_loginPage, &LoginPage::loginClicked, this, &MainWindow::login, Qt::UniqueConnection);
    connect(m_loginPage, &LoginPage::errorOccurred, this, &MainWindow::slotShowErrorMessage, Qt::UniqueConnection);
    connect(m_loginPage, &LoginPage::dfuTriggered, this, &MainWindow::dfuTriggered, Qt::UniqueConnection);
    connect(m_mainPage, &MainPage::logoutTriggered, this, &MainWindow::logout, Qt::UniqueConnection);
    connect(m_mainPage, &MainPage::downloadFileTriggered, this,
            [this] { emit downloadFileTriggered(downloadsFolder(), true); });
    connect(m_mainPage, &MainPage::upgradeFirmwareTriggered, this, &MainWindow::upgradeFirmwareTriggered,
            Qt::UniqueConnection);
    connect(m_mainPage, &MainPage::errorOccured, this, &MainWindow::slotShowErrorMessage, Qt::UniqueConnection);
    connect(m_dfuPage, &DfuPage::logoutDfu, this, &MainWindow::logoutDfu, Qt::UniqueConnection);
    connect(m_dfuPage, &DfuPage::errorOccured, this, &MainWindow::slotShowErrorMessage, Qt::UniqueConnection);
    connect(m_dfuPage, &DfuPage::downloadFileTriggered, this,
            [this] { emit downloadFileTriggered(downloadsFolder(), false); });
    connect(m_dfuPage, &DfuPage::upgradeFirmwareTriggered, this, &MainWindow::upgradeFirmwareTriggered,
            Qt::UniqueConnection);
    connect(m_stack, &QStackedWidget::currentChanged, this, &MainWindow::slotCurrentPageChanged,
            Qt::UniqueConnection);
}

void MainWindow::slotCurrentPageChanged(int index)
{
    QWidget *shown = m_stack->widget(index);
    m_dfuPage->setLogConnection(shown == m_dfuPage);
    m_mainPage->setLogConnection(shown == m_mainPage);
    for (int i = 0; i < m_stack->count(); ++i)
        m_stack->widget(i)->setEnabled(m_stack->widget(i) == shown);
}

void MainWindow::slotShowErrorMessage(const QString &errMessage)
{
    CustomMessageBox::showMessage(this, CustomMessageBox::CriticalIcon, tr("Invalid data"), errMessage,
                                  QMessageBox::Close, QMessageBox::Close);
}

void MainWindow::showLoginPage()
{
    m_mainPage->reset();
    m_dfuPage->reset();
    // Enabled by the page change: a disabled field cannot take the focus.
    m_stack->setCurrentWidget(m_loginPage);
    m_loginPage->clearInputs();
}

void MainWindow::showMainPage()
{
    m_stack->setCurrentWidget(m_mainPage);
}

void MainWindow::showDfuPage()
{
    m_stack->setCurrentWidget(m_dfuPage);
    m_dfuPage->prepare();
}

void MainWindow::setUserInfo(const UserInfo *user)
{
    if (user)
        m_mainPage->setUserInfo(user);
}

void MainWindow::setDevicesModel(DevicesModel *model)
{
    if (model) {
        model->setDecoration(UiResources::picture(QStringLiteral(":/img/default_device_logo.png")));
        QFont font = QApplication::font();
        font.setPointSize(9);
        model->setFont(font);
    }
    m_mainPage->setDevicesModel(model);
    m_dfuPage->setDevicesModel(model);
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::setLogo(const QPixmap &logo)
{
    m_mainPage->setLogo(logo);
}

void MainWindow::setLoginInputsEnabled(bool enabled)
{
    m_loginPage->setInputsEnabled(enabled);
}

void MainWindow::setDownloadButtonEnabled(bool enabled)
{
    m_mainPage->setDownloadButtonEnabled(enabled);
}

void MainWindow::enableFirmwareButtons()
{
    m_dfuPage->enableUpgrade();
    m_mainPage->enableUpgradeButton();
}

void MainWindow::setFirmwareProgress(const QString &text)
{
    m_dfuPage->showFirmwareProgress(text);
    m_mainPage->showFirmwareProgress(text);
}

void MainWindow::showShutdownNotice(const QString &text)
{
    m_shutdownNotice->setText(text);
    m_shutdownNotice->show();
    m_stack->setEnabled(false);
}

bool MainWindow::isShuttingDown() const
{
    return !m_shutdownNotice->isHidden();
}
