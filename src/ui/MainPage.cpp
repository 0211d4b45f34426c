#include "MainPage.h"

#include "DeviceListDelegate.h"
#include "DevicesModel.h"
#include "EditableText.h"
#include "ElidedLabel.h"
#include "LocalSettings.h"
#include "UserInfo.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

const QString MainPage::NoDevicesText = QStringLiteral("There are no connected devices to firmware upgrade.");

namespace {

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// Values from devices, the cloud and the operator's files: shown as they are,
// never as markup, and shortened rather than widening the window.
ElidedLabel *valueLabel(const QString &name, QWidget *parent)
{
    auto *label = new ElidedLabel(parent);
    label->setObjectName(name);
    return label;
}

const char *const kHelpText = QT_TRANSLATE_NOOP(
    "MainPage",
    "<p>The TAMO desktop application talks to the USB hub on this computer. It lets the TAMO platform "
    "recognise every TAMO device plugged into the hub, register it and publish your content to it.</p>"
    "<p>Every device is registered on the TAMO web platform with a name, a title and a location.</p>"
    "<p>The default location you set here is filled in for you when devices are registered.</p>"
    "<p>The location of each device can still be changed on the TAMO web platform.</p>"
    "<p>A changed default location applies to every device plugged in or registered afterwards.</p>");

} // namespace

MainPage::MainPage(QWidget *parent)
    : BasePage(parent)
{
    setHeaderContent(buildHeader());
    m_devicePage = buildDevicePage();
    m_helpPage = buildHelpPage();
    m_pages = setContentPanels(QStringLiteral("mainPageStackedWidget"), {m_devicePage, m_helpPage});
    useDeviceCards(DeviceListDelegate::FullCard);
    connectControls();
    restoreSettings();
}

QWidget *MainPage::buildHeader()
{
    QWidget *header = styledPanel(QStringLiteral("topHeaderPanel"), this);
    m_companyLogoLabel = namedLabel(QStringLiteral("companyLogoLabel"), QString(), header);
    m_companyLogoLabel->setFixedHeight(40);
    m_userNameLabel = valueLabel(QStringLiteral("userNameLabel"), header);
    m_companyNameLabel = valueLabel(QStringLiteral("companyNameLabel"), header);
    m_userEmailLabel = valueLabel(QStringLiteral("userEmailLabel"), header);
    m_logoutButton = namedButton(QStringLiteral("logoutButton"), tr("&Logout"), header);

    auto *user = new QVBoxLayout;
    user->setSpacing(0);
    user->addStretch();
    user->addWidget(m_userNameLabel);
    user->addWidget(m_companyNameLabel);
    user->addWidget(m_userEmailLabel);
    user->addStretch();
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addStretch();
    layout->addWidget(m_companyLogoLabel);
    layout->addLayout(user);
    layout->addWidget(m_logoutButton);
    return header;
}

QWidget *MainPage::buildDevicePage()
{
    QWidget *page = styledPanel(QStringLiteral("devicePage"), this);
    QWidget *location = styledPanel(QStringLiteral("defLocationWidget"), page);
    m_locationEditor = new EditableText(location);
    m_locationEditor->setObjectName(QStringLiteral("locationEditor"));
    m_showTipButton = namedButton(QStringLiteral("showTipButton"), tr("Show &Help Tip"), location);
    auto *locationLayout = new QHBoxLayout(location);
    locationLayout->setContentsMargins(20, 14, 20, 10);
    locationLayout->addWidget(namedLabel(QStringLiteral("defLocationLbl"), tr("Default Location:"), location), 0,
                              Qt::AlignTop);
    locationLayout->addWidget(m_locationEditor, 1, Qt::AlignTop);
    locationLayout->addWidget(m_showTipButton, 0, Qt::AlignTop);

    m_devicePanels = new QStackedWidget(page);
    m_devicePanels->setObjectName(QStringLiteral("stackedWidget"));
    m_deviceInfoPage = buildDeviceInfoPage();
    m_fwUpdatePage = buildFirmwarePage();
    m_devicePanels->addWidget(m_deviceInfoPage);
    m_devicePanels->addWidget(m_fwUpdatePage);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(location);
    layout->addWidget(m_devicePanels, 1);
    return page;
}

QWidget *MainPage::buildDeviceInfoPage()
{
    QWidget *page = styledPanel(QStringLiteral("deviceInfoPage"), this);
    QWidget *title = titleStrip(QStringLiteral("deviceInfoWidget"), QStringLiteral("deviceInfoLabel"),
                                tr("Device Info"), page);

    m_infoWidget = styledPanel(QStringLiteral("infoWidget"), page);
    auto *grid = new QGridLayout(m_infoWidget);
    grid->setContentsMargins(20, 14, 20, 10);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    const struct {
        const char *label;
        const char *valueName;
        int role;
    } rows[] = {
        {QT_TR_NOOP("MAC Address:"), "infoMACValue", DevicesModel::MacAddressRole},
        {QT_TR_NOOP("Location:"), "infoLocationValue", DevicesModel::LocationRole},
        {QT_TR_NOOP("Title:"), "infoTitleValue", DevicesModel::TitleRole},
        {QT_TR_NOOP("Device Name:"), "infoNameValue", DevicesModel::NameRole},
        {QT_TR_NOOP("User Name:"), "infoPersonNameValue", DevicesModel::PersonNameRole},
        {QT_TR_NOOP("Firmware Version:"), "infoRevisionValue", DevicesModel::FwVersionRole},
    };
    int r = 0;
    for (const auto &row : rows) {
        auto *label = new QLabel(tr(row.label), m_infoWidget);
        grid->addWidget(label, r, 0);
        ElidedLabel *value = valueLabel(QLatin1String(row.valueName), m_infoWidget);
        value->setAccessibleName(label->text());
        grid->addWidget(value, r, 1);
        m_infoValues.insert(row.role, value);
        ++r;
    }
    grid->setColumnStretch(1, 1);

    m_infoLbl = namedLabel(QStringLiteral("infoLbl"), tr("No info"), page);
    m_infoLbl->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addWidget(m_infoWidget);
    layout->addWidget(m_infoLbl, 1);
    layout->addStretch();
    return page;
}

QWidget *MainPage::buildFirmwarePage()
{
    QWidget *page = styledPanel(QStringLiteral("fwUpdatePage"), this);
    QWidget *title = titleStrip(QStringLiteral("fwInfoWidget"), QStringLiteral("fwUpdateLabel"),
                                tr("Upgrade Firmware"), page);
    m_closeUpgradeButton = namedButton(QStringLiteral("closeUpgradeButton"), tr("Close"), title);
    title->layout()->addWidget(m_closeUpgradeButton);

    m_downloadButton = namedButton(QStringLiteral("downloadButton"), tr("&Download"), page);
    m_selectButton = namedButton(QStringLiteral("selectButton"), tr("&Select"), page);
    m_upgradeFirmwareButton = namedButton(QStringLiteral("upgradeFirmwareButton"), tr("&Upgrade Firmware"), page);
    m_fwFileNameLabel = valueLabel(QStringLiteral("fwFileNameLabel"), page);
    m_fwFileNameLabel->setAccessibleName(tr("Chosen firmware file"));

    auto *steps = new QGridLayout;
    steps->setContentsMargins(kTitleIndent, 18, kTitleIndent, 10);
    steps->setHorizontalSpacing(10);
    steps->setVerticalSpacing(14);
    steps->addWidget(new QLabel(QStringLiteral("1):"), page), 0, 0);
    steps->addLayout(stepRow(m_downloadButton,
                             {stepLabel(tr("latest Firmware File  (will be saved in “Downloads” folder)"), page)}),
                     0, 1);
    steps->addWidget(new QLabel(QStringLiteral("2):"), page), 1, 0);
    // The chosen file is named right under its step's text, once there is one.
    auto *choice = new QGridLayout;
    choice->setHorizontalSpacing(8);
    choice->setVerticalSpacing(2);
    choice->addWidget(m_selectButton, 0, 0);
    choice->addWidget(stepLabel(tr("Firmware File after you’ve downloaded it."), page), 0, 1);
    choice->addWidget(m_fwFileNameLabel, 1, 1);
    choice->setColumnStretch(1, 1);
    m_fwFileNameLabel->hide();
    steps->addLayout(choice, 1, 1);
    steps->addWidget(new QLabel(QStringLiteral("3):"), page), 2, 0);
    steps->addLayout(stepRow(m_upgradeFirmwareButton, {upgradeTargetsLabel(page)}), 2, 1);
    steps->addWidget(firmwareProgressLabel(page), 3, 1);
    steps->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addLayout(steps);
    layout->addStretch();
    return page;
}

QWidget *MainPage::buildHelpPage()
{
    QWidget *page = styledPanel(QStringLiteral("defLocationPage"), this);
    m_hideHelpButton = namedButton(QStringLiteral("hideHelpButton"), tr("&Hide Help Tip"), page);
    QLabel *text = namedLabel(QStringLiteral("label_3"), tr(kHelpText), page);
    text->setWordWrap(true);
    text->setTextFormat(Qt::RichText);
    m_editLocationWidget = new EditableText(page);
    m_editLocationWidget->setObjectName(QStringLiteral("editLocationWidget"));

    auto *top = new QHBoxLayout;
    top->addWidget(namedLabel(QStringLiteral("welcomeLabel"), tr("Welcome"), page));
    top->addStretch();
    top->addWidget(m_hideHelpButton);
    auto *location = new QHBoxLayout;
    location->addWidget(namedLabel(QStringLiteral("defaultLocationTipLbl"), tr("Default Location:"), page), 0,
                        Qt::AlignTop);
    location->addWidget(m_editLocationWidget, 1, Qt::AlignTop);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(30, 20, 30, 20);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addWidget(text);
    layout->addLayout(location);
    layout->addStretch();
    return page;
}

void MainPage::connectControls()
{
    connect(m_logoutButton, &QPushButton::clicked, this, &MainPage::logoutTriggered);
    connect(m_locationEditor, &EditableText::textChanged, this, &MainPage::saveDefaultLocation);
    connect(m_editLocationWidget, &EditableText::textChanged, m_locationEditor, &EditableText::setText);
    connect(m_locationEditor, &EditableText::textChanged, m_editLocationWidget, &EditableText::setText);
    connect(m_showTipButton, &QPushButton::clicked, this, &MainPage::openHelpTip);
    connect(m_hideHelpButton, &QPushButton::clicked, this, &MainPage::openDeviceInfo);
    connect(firmwareButton(), &QPushButton::clicked, this, &MainPage::openFirmwarePage);
    connect(m_closeUpgradeButton, &QPushButton::clicked, this, &MainPage::openDeviceInfo);
    connect(m_downloadButton, &QPushButton::clicked, this, [this] {
        m_downloadButton->setEnabled(false);
        emit downloadFileTriggered();
    });
    connect(m_selectButton, &QPushButton::clicked, this, &MainPage::selectDownloadedFirmware);
    connect(m_upgradeFirmwareButton, &QPushButton::clicked, this, &MainPage::upgradeFirmware);
}

void MainPage::restoreSettings()
{
    m_locationEditor->setText(LocalSettings::defaultLocation());
    showNoInfo();
    if (LocalSettings::showHelpTip()) {
        openHelpTip();
        LocalSettings::setShowHelpTip(false);
    } else {
        openDeviceInfo();
    }
}

void MainPage::setDevicesModel(DevicesModel *model)
{
    BasePage::setDevicesModel(model);
    if (!model) {
        showNoInfo();
        return;
    }
    connect(model, &QAbstractItemModel::dataChanged, this, &MainPage::slotDeviceDataChanged,
            Qt::UniqueConnection);
    connect(devicesListView()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainPage::slotSelectionChanged, Qt::UniqueConnection);
}

void MainPage::reset()
{
    BasePage::reset();
    setUserInfo(nullptr);
    m_companyLogoLabel->clear();
    showNoInfo();
}

void MainPage::setUserInfo(const UserInfo *user)
{
    m_userNameLabel->setText(user ? user->fullname : QString());
    m_companyNameLabel->setText(user ? user->companyName : QString());
    m_userEmailLabel->setText(user ? user->email : QString());
}

void MainPage::setLogo(const QPixmap &logo)
{
    if (logo.isNull()) {
        m_companyLogoLabel->clear();
        return;
    }
    // Drawn from the full picture at the screen's density.
    const qreal ratio = m_companyLogoLabel->devicePixelRatioF();
    QPixmap scaled = logo.scaledToHeight(qRound(m_companyLogoLabel->height() * ratio), Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    m_companyLogoLabel->setPixmap(scaled);
}

void MainPage::setDownloadButtonEnabled(bool enabled)
{
    m_downloadButton->setEnabled(enabled);
}

void MainPage::enableUpgradeButton()
{
    m_upgradeFirmwareButton->setEnabled(true);
}

void MainPage::slotDevicesModelChanged()
{
    BasePage::slotDevicesModelChanged();
    if (deviceCount() < 1)
        showNoInfo();
}

void MainPage::showNoInfo()
{
    m_infoWidget->hide();
    m_infoLbl->show();
}

QModelIndex MainPage::selectedRow() const
{
    const QItemSelectionModel *selection = devicesListView()->selectionModel();
    if (!devicesModel() || !selection)
        return {};
    const QModelIndexList rows = selection->selectedIndexes();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void MainPage::showDeviceInfo(const QModelIndex &row, const QVector<int> &roles)
{
    for (auto it = m_infoValues.cbegin(); it != m_infoValues.cend(); ++it)
        if (roles.isEmpty() || roles.contains(it.key()))
            it.value()->setText(row.data(it.key()).toString());
    m_infoWidget->show();
    m_infoLbl->hide();
}

void MainPage::slotSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    Q_UNUSED(selected)
    Q_UNUSED(deselected)
    // On the firmware panel a selection chooses the devices to upgrade.
    if (m_pages->currentWidget() == m_devicePage && m_devicePanels->currentWidget() == m_fwUpdatePage)
        return;
    m_pages->setCurrentWidget(m_devicePage);
    m_devicePanels->setCurrentWidget(m_deviceInfoPage);
    setPanelsVisible(LogPanel, true);
    const QModelIndex row = selectedRow();
    if (row.isValid())
        showDeviceInfo(row);
    else
        showNoInfo();
}

void MainPage::slotDeviceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                     const QVector<int> &roles)
{
    Q_UNUSED(bottomRight)
    const QModelIndex row = selectedRow();
    if (row.isValid() && topLeft.row() == row.row())
        showDeviceInfo(row, roles);
}

void MainPage::openDeviceInfo()
{
    m_pages->setCurrentWidget(m_devicePage);
    m_devicePanels->setCurrentWidget(m_deviceInfoPage);
    setPanelsVisible(LogPanel, true);
    if (!devicesListView()->selectionModel() || !devicesModel())
        showNoInfo();
    else
        slotSelectionChanged(devicesListView()->selectionModel()->selection(), QItemSelection());
}

// The help tip lets go of the device list's current row as well as its
// selection: a selection means device information.
void MainPage::forgetCurrentDevice()
{
    if (QItemSelectionModel *selection = devicesListView()->selectionModel()) {
        selection->clearCurrentIndex();
        selection->clearSelection();
    }
}

void MainPage::openHelpTip()
{
    forgetCurrentDevice();
    m_pages->setCurrentWidget(m_helpPage);
    setPanelsVisible(LogPanel, false);
}

void MainPage::saveDefaultLocation(const QString &location)
{
    LocalSettings::setDefaultLocation(location);
}

// The selection stays: the devices selected are the ones the panel upgrades.
void MainPage::openFirmwarePage()
{
    m_pages->setCurrentWidget(m_devicePage);
    m_devicePanels->setCurrentWidget(m_fwUpdatePage);
    setPanelsVisible(LogPanel, true);
}

void MainPage::selectDownloadedFirmware()
{
    const QString path = askForFirmwareFile();
    if (!path.isEmpty())
        setFirmwareFile(path);
}

void MainPage::setFirmwareFile(const QString &path)
{
    m_firmwarePath = path;
    m_fwFileNameLabel->setText(QFileInfo(path).fileName());
    m_fwFileNameLabel->setVisible(!path.isEmpty());
}

void MainPage::upgradeFirmware()
{
    const QString problem = firmwareFileProblem(m_firmwarePath);
    if (!problem.isEmpty()) {
        m_fwFileNameLabel->setText(QString());
        m_fwFileNameLabel->hide();
        m_firmwarePath.clear();
        emit errorOccured(problem);
        return;
    }
    if (deviceCount() < 1) {
        emit errorOccured(NoDevicesText);
        return;
    }
    m_upgradeFirmwareButton->setEnabled(false);
    emit upgradeFirmwareTriggered(m_firmwarePath, selectedSerials());
}
