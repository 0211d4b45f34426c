#include "DfuPage.h"

#include "DeviceListDelegate.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

const QString DfuPage::ChooseFileText = QStringLiteral("Firmware File after you’ve downloaded it.");
const QString DfuPage::FileSelectedText = QStringLiteral("Firmware File selected:");

namespace {

const char *const kWelcomeText = QT_TRANSLATE_NOOP(
    "DfuPage",
    "<h2>Welcome to the Express Firmware Upgrade</h2>"
    "<p>Upgrading your TAMO devices takes two steps:</p>"
    "<p>1) Attach a device to a USB port of this computer.<br>"
    "2) Click the \"Upgrade Firmware\" button.</p>"
    "<p>The upgrade takes about 2 minutes. Keep the device plugged in until it is done; "
    "a confirmation message tells you when it is complete.</p>"
    "<p>Enjoy your upgraded TAMO!</p>");

} // namespace

DfuPage::DfuPage(QWidget *parent)
    : BasePage(parent)
{
    setHeaderContent(buildHeader());
    m_infoPage = buildInfoPage();
    m_dfuPage = buildUpgradePage();
    m_pages = setContentPanels(QStringLiteral("contentStackedWidget"), {m_infoPage, m_dfuPage});

    connect(m_loginButton, &QPushButton::clicked, this, &DfuPage::logoutDfu);
    connect(m_downloadButton, &QPushButton::clicked, this, &DfuPage::downloadFileTriggered);
    connect(m_upgradeFirmwareButton, &QPushButton::clicked, this, &DfuPage::upgradeFirmware);
    connect(m_selectButton, &QPushButton::clicked, this, &DfuPage::selectDownloadedFirmware);
    connect(m_selectedDfuButton, &QPushButton::clicked, this, &DfuPage::selectDownloadedFirmware);
    connect(firmwareButton(), &QPushButton::clicked, this, &DfuPage::firmwareButtonClicked);

    m_selectedDfuButton->hide();
    m_selectLabel->setText(ChooseFileText);
    firmwareButton()->setText(tr("Upgrade &Firmware"));
    firmwareButton()->show();
    useDeviceCards(DeviceListDelegate::ShortCard);
    showWelcome();
    slotDevicesModelChanged();
}

QWidget *DfuPage::buildHeader()
{
    QWidget *header = styledPanel(QStringLiteral("headerWidget"), this);
    m_loginButton = namedButton(QStringLiteral("loginButton"), tr("&Login"), header);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(m_loginButton);
    return header;
}

QWidget *DfuPage::buildInfoPage()
{
    QWidget *page = styledPanel(QStringLiteral("infoPage"), this);
    auto *text = new QLabel(tr(kWelcomeText), page);
    text->setObjectName(QStringLiteral("infoLabel"));
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(30, 20, 30, 20);
    layout->addWidget(text);
    layout->addStretch();
    return page;
}

QWidget *DfuPage::buildUpgradePage()
{
    QWidget *page = styledPanel(QStringLiteral("dfuPage"), this);
    QWidget *title = titleStrip(QStringLiteral("fwInfoWidget"), QStringLiteral("fwUpdateLabel"),
                                tr("Upgrade Firmware"), page);

    m_downloadButton = namedButton(QStringLiteral("downloadButton"), tr("&Download"), page);
    m_selectButton = namedButton(QStringLiteral("selectButton"), tr("&Select"), page);
    m_selectLabel = new QLabel(page);
    m_selectLabel->setObjectName(QStringLiteral("selectLabel"));
    m_selectLabel->setWordWrap(true); // the window's width is not its to decide
    m_selectedDfuButton = namedButton(QStringLiteral("selectedDfuButton"), QString(), page);
    m_selectedDfuButton->setAccessibleName(tr("Chosen firmware file"));
    m_upgradeFirmwareButton = namedButton(QStringLiteral("upgradeFirmwareButton"), tr("&Upgrade Firmware"), page);

    auto *choice = new QHBoxLayout;
    choice->setSpacing(8);
    choice->addWidget(m_selectButton);
    choice->addWidget(m_selectLabel);
    choice->addWidget(m_selectedDfuButton);
    choice->addStretch();
    auto *steps = new QGridLayout;
    steps->setContentsMargins(kTitleIndent, 18, kTitleIndent, 10);
    steps->setHorizontalSpacing(10);
    steps->setVerticalSpacing(14);
    steps->addWidget(new QLabel(tr("Step 1):"), page), 0, 0);
    steps->addLayout(stepRow(m_downloadButton,
                             {stepLabel(tr("latest Firmware File  (will be saved in “Downloads” folder)"), page)}),
                     0, 1);
    steps->addWidget(new QLabel(tr("Step 2):"), page), 1, 0);
    steps->addLayout(choice, 1, 1);
    steps->addWidget(new QLabel(tr("Step 3):"), page), 2, 0);
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

void DfuPage::prepare()
{
    m_upgradeFirmwareButton->setEnabled(true);
}

void DfuPage::enableUpgrade()
{
    m_upgradeFirmwareButton->setEnabled(true);
}

void DfuPage::showWelcome()
{
    firmwareButton()->show();
    m_pages->setCurrentWidget(m_infoPage);
    setPanelsVisible(LogPanel, false);
}

void DfuPage::firmwareButtonClicked()
{
    firmwareButton()->hide();
    m_pages->setCurrentWidget(m_dfuPage);
    setPanelsVisible(LogPanel, true);
}

void DfuPage::slotDevicesModelChanged()
{
    BasePage::slotDevicesModelChanged();
    const bool any = deviceCount() > 0;
    firmwareButton()->setEnabled(any);
    if (!any)
        showWelcome();
}

void DfuPage::selectDownloadedFirmware()
{
    const QString path = askForFirmwareFile();
    if (!path.isEmpty())
        setFirmwareFile(path);
}

void DfuPage::setFirmwareFile(const QString &path)
{
    m_firmwarePath = path;
    // A long name is shortened: it must not widen the window.
    const QString name = QFileInfo(path).fileName();
    m_selectedDfuButton->ensurePolished();
    m_selectedDfuButton->setText(m_selectedDfuButton->fontMetrics().elidedText(name, Qt::ElideMiddle, kFileNameWidth));
    m_selectedDfuButton->setToolTip(name);
    m_selectedDfuButton->setAccessibleName(tr("Chosen firmware file %1; choose another").arg(name));
    m_selectedDfuButton->show();
    m_selectLabel->setText(FileSelectedText);
    m_selectButton->hide();
}

void DfuPage::forgetFirmwareFile()
{
    m_firmwarePath.clear();
    m_selectedDfuButton->hide();
    m_selectedDfuButton->setText(QString());
    m_selectedDfuButton->setToolTip(QString());
    m_selectedDfuButton->setAccessibleName(tr("Chosen firmware file"));
    m_selectLabel->setText(ChooseFileText);
    m_selectButton->show();
}

void DfuPage::upgradeFirmware()
{
    const QString problem = firmwareFileProblem(m_firmwarePath);
    if (!problem.isEmpty()) {
        if (!m_firmwarePath.isEmpty())
            forgetFirmwareFile();
        emit errorOccured(problem);
        return;
    }
    m_upgradeFirmwareButton->setEnabled(false);
    emit upgradeFirmwareTriggered(m_firmwarePath, selectedSerials());
}
