#include "BasePage.h"

#include "DeviceListDelegate.h"
#include "DevicesModel.h"
#include "Logger.h"
#include "LogsDelegate.h"
#include "Timings.h"
#include "UiResources.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

const QString BasePage::NoFileSelectedText = QStringLiteral("No *.dfu file selected please select it.");
const QString BasePage::FileNotExistText = QStringLiteral("Dfu '%1' file not exist.");

BasePage::BasePage(QWidget *parent)
    : QWidget(parent)
    , m_logModel(new QStringListModel(this))
    , m_scrollTimer(new QTimer(this))
{
    UiResources::ensureLoaded();
    setAttribute(Qt::WA_StyledBackground, true);
    m_topPanel = buildTopPanel();
    m_leftPanel = buildLeftPanel();

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(2);
    m_contentWidget = styledPanel(QStringLiteral("contentWidget"), m_splitter);
    auto *contentLayout = new QVBoxLayout(m_contentWidget);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    m_bottomPanel = buildBottomPanel();
    m_splitter->addWidget(m_contentWidget);
    m_splitter->addWidget(m_bottomPanel);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);

    auto *body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(m_leftPanel);
    body->addWidget(m_splitter, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_topPanel);
    layout->addLayout(body, 1);
    m_leftPanel->setFixedWidth(kLeftPanelWidth);

    m_scrollTimer->setSingleShot(true);
    m_scrollTimer->setInterval(Timings::ms(Timings::LogScrollDelay));
    connect(m_scrollTimer, &QTimer::timeout, m_logsListView, &QListView::scrollToBottom);
    setLogConnection(true);
}

QWidget *BasePage::buildTopPanel()
{
    QWidget *panel = styledPanel(QStringLiteral("topPanel"), this);
    panel->setFixedHeight(64);
    auto *logo = new QLabel(panel);
    logo->setObjectName(QStringLiteral("tamoLogoLabel"));
    logo->setPixmap(QPixmap(QStringLiteral(":/img/TAMO-logo-small.png")));
    m_headerContentLayout = new QHBoxLayout;
    m_headerContentLayout->setObjectName(QStringLiteral("headerContentLayout"));
    m_headerContentLayout->setContentsMargins(0, 0, 0, 0);
    auto *layout = new QHBoxLayout(panel);
    layout->setContentsMargins(20, 0, 20, 1);
    layout->addWidget(logo);
    layout->addLayout(m_headerContentLayout, 1);
    return panel;
}

QWidget *BasePage::buildLeftPanel()
{
    QWidget *panel = styledPanel(QStringLiteral("leftPanel"), this);
    auto *devicesLabel = new QLabel(tr("Devices:"), panel);
    devicesLabel->setObjectName(QStringLiteral("devicesLabel"));
    m_devicesCountLbl = new QLabel(QStringLiteral("0"), panel);
    m_devicesCountLbl->setObjectName(QStringLiteral("devicesCountLbl"));
    m_noDevicesLbl = new QLabel(tr("No devices"), panel);
    m_noDevicesLbl->setObjectName(QStringLiteral("noDevicesLbl"));
    m_noDevicesLbl->setAlignment(Qt::AlignCenter);
    m_devicesListView = new QListView(panel);
    m_devicesListView->setObjectName(QStringLiteral("devicesListView"));
    m_devicesListView->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_devicesListView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_devicesListView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_devicesListView->setResizeMode(QListView::Adjust);
    m_firmwareBtn = namedButton(QStringLiteral("firmwareBtn"), tr("Firmware"), panel);

    auto *count = new QHBoxLayout;
    count->addWidget(devicesLabel);
    count->addWidget(m_devicesCountLbl);
    count->addStretch();
    auto *button = new QHBoxLayout;
    button->addStretch();
    button->addWidget(m_firmwareBtn);
    button->addStretch();
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 12, 0, 14);
    layout->setSpacing(8);
    count->setContentsMargins(20, 0, 20, 0);
    layout->addLayout(count);
    layout->addWidget(m_noDevicesLbl);
    layout->addWidget(m_devicesListView, 1);
    layout->addLayout(button);
    return panel;
}

QWidget *BasePage::buildBottomPanel()
{
    QWidget *panel = styledPanel(QStringLiteral("bottomPanel"), m_splitter);
    auto *title = new QLabel(tr("Activity Log"), panel);
    title->setObjectName(QStringLiteral("logLbl"));
    m_logsListView = new QListView(panel);
    m_logsListView->setObjectName(QStringLiteral("logsListView"));
    m_logsListView->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_logsListView->setModel(m_logModel);
    LogsDelegate::install(m_logsListView);
    m_logsListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    title->setContentsMargins(15, 6, 15, 6);
    layout->addWidget(title);
    layout->addWidget(m_logsListView, 1);
    return panel;
}

void BasePage::setHeaderContent(QWidget *header)
{
    m_headerContentLayout->addWidget(header, 1);
}

void BasePage::setContent(QWidget *content)
{
    m_contentWidget->layout()->addWidget(content);
}

QStackedWidget *BasePage::setContentPanels(const QString &name, const QList<QWidget *> &panels)
{
    auto *stack = new QStackedWidget(this);
    stack->setObjectName(name);
    for (QWidget *panel : panels)
        stack->addWidget(panel);
    setContent(stack);
    return stack;
}

void BasePage::setPanelsVisible(Panels panels, bool visible)
{
    if (panels & HeaderPanel)
        m_topPanel->setVisible(visible);
    if (panels & LogPanel)
        m_bottomPanel->setVisible(visible);
    if (panels & LeftPanel)
        m_leftPanel->setVisible(visible);
}

void BasePage::useDeviceCards(int mode)
{
    m_devicesListView->setItemDelegate(new DeviceListDelegate(mode, m_devicesListView));
}

QString BasePage::askForFirmwareFile()
{
    return QFileDialog::getOpenFileName(this, tr("Open File"),
                                        QStandardPaths::writableLocation(QStandardPaths::DownloadLocation),
                                        tr("DFU files (*.dfu)"));
}

QWidget *BasePage::styledPanel(const QString &name, QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setAttribute(Qt::WA_StyledBackground, true);
    return panel;
}

QPushButton *BasePage::namedButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *BasePage::stepLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QWidget *BasePage::titleStrip(const QString &name, const QString &labelName, const QString &text, QWidget *parent)
{
    QWidget *strip = styledPanel(name, parent);
    auto *label = new QLabel(text, strip);
    label->setObjectName(labelName);
    auto *layout = new QHBoxLayout(strip);
    layout->setContentsMargins(20, 6, 20, 6);
    layout->addWidget(label);
    layout->addStretch();
    return strip;
}

QString BasePage::firmwareFileProblem(const QString &path)
{
    if (path.isEmpty())
        return NoFileSelectedText;
    if (!QFileInfo::exists(path))
        return FileNotExistText.arg(path);
    return QString();
}

void BasePage::setLogConnection(bool connected)
{
    if (connected)
        connect(Logger::instance(), &Logger::readableMessageAdded, this, &BasePage::addLogMessage,
                Qt::UniqueConnection);
    else
        disconnect(Logger::instance(), &Logger::readableMessageAdded, this, &BasePage::addLogMessage);
}

void BasePage::addLogMessage(const QString &message)
{
    const QScrollBar *bar = m_logsListView->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const int row = m_logModel->rowCount();
    m_logModel->insertRows(row, 1);
    m_logModel->setData(m_logModel->index(row), message);
    if (m_logModel->rowCount() > kMaxLogRows)
        m_logModel->removeRows(0, m_logModel->rowCount() - kMaxLogRows);
    if (atEnd || m_scrollTimer->isActive())
        scrollToEndLogs();
}

void BasePage::scrollToEndLogs()
{
    m_scrollTimer->start();
}

int BasePage::deviceCount() const
{
    return m_model ? m_model->rowCount() : 0;
}

void BasePage::setDevicesModel(DevicesModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    m_devicesListView->setModel(model);
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &BasePage::slotDevicesModelChanged,
                Qt::UniqueConnection);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &BasePage::slotDevicesModelChanged,
                Qt::UniqueConnection);
        connect(model, &QAbstractItemModel::modelReset, this, &BasePage::slotDevicesModelChanged,
                Qt::UniqueConnection);
    }
    slotDevicesModelChanged();
}

void BasePage::slotDevicesModelChanged()
{
    const int count = deviceCount();
    m_devicesCountLbl->setText(QString::number(count));
    m_noDevicesLbl->setVisible(count < 1);
}

void BasePage::reset()
{
    setDevicesModel(nullptr);
    m_scrollTimer->stop();
    m_logModel->setStringList({});
}
