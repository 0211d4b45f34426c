#include "BasePage.h"

#include "CustomMessageBox.h"
#include "DeviceListDelegate.h"
#include "DevicesModel.h"
#include "Logger.h"
#include "LogsDelegate.h"
#include "Timings.h"
#include "UiResources.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

const QString BasePage::NoFileSelectedText = QStringLiteral("No *.dfu file selected please select it.");
const QString BasePage::FileNotExistText = QStringLiteral("Dfu '%1' file not exist.");

namespace {

// An activity-log row as the plain text it shows: the emphasis tags go, the
// escaped values come back as the characters they are, the spacing stays.
QString plainLogLine(QString row)
{
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    row.remove(tags);
    row.replace(QLatin1String("&lt;"), QLatin1String("<"));
    row.replace(QLatin1String("&gt;"), QLatin1String(">"));
    row.replace(QLatin1String("&quot;"), QLatin1String("\""));
    row.replace(QLatin1String("&#39;"), QLatin1String("'"));
    row.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return row;
}

} // namespace

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
    connect(m_scrollTimer, &QTimer::timeout, this, [this] {
        if (m_followLog)
            m_logsListView->scrollToBottom();
    });
    connect(m_logsListView->verticalScrollBar(), &QScrollBar::valueChanged, this, &BasePage::onLogScrolled);
    // Shown again, or given another size: the newest line is found at the end.
    m_logsListView->installEventFilter(this);
    m_logsListView->viewport()->installEventFilter(this);
    setLogConnection(true);
}

QWidget *BasePage::buildTopPanel()
{
    QWidget *panel = styledPanel(QStringLiteral("topPanel"), this);
    panel->setFixedHeight(64);
    auto *logo = new QLabel(panel);
    logo->setObjectName(QStringLiteral("tamoLogoLabel"));
    logo->setPixmap(UiResources::picture(QStringLiteral(":/img/TAMO-logo-small.png")));
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
    // Several devices can be chosen for a firmware upgrade.
    m_devicesListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_firmwareBtn = namedButton(QStringLiteral("firmwareBtn"), tr("&Firmware"), panel);

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
    m_logsListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_logsListView->setAccessibleName(tr("Activity log"));
    addLogActions();
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Lined up with the titles of the content panels above it.
    title->setContentsMargins(kTitleIndent, 6, kTitleIndent, 6);
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

QHBoxLayout *BasePage::stepRow(QWidget *button, const QList<QWidget *> &texts)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(button);
    for (QWidget *text : texts)
        row->addWidget(text, text == texts.last() ? 1 : 0);
    return row;
}

QWidget *BasePage::titleStrip(const QString &name, const QString &labelName, const QString &text, QWidget *parent)
{
    QWidget *strip = styledPanel(name, parent);
    auto *label = new QLabel(text, strip);
    label->setObjectName(labelName);
    auto *layout = new QHBoxLayout(strip);
    layout->setContentsMargins(kTitleIndent, 6, kTitleIndent, 6);
    layout->addWidget(label);
    layout->addStretch();
    return strip;
}

QLabel *BasePage::upgradeTargetsLabel(QWidget *parent)
{
    m_upgradeTargets = stepLabel(QString(), parent);
    m_upgradeTargets->setObjectName(QStringLiteral("upgradeTargetsLbl"));
    m_upgradeTargets->setTextFormat(Qt::PlainText); // device names are shown, never read as markup
    refreshUpgradeTargets();
    return m_upgradeTargets;
}

QLabel *BasePage::firmwareProgressLabel(QWidget *parent)
{
    m_firmwareProgress = new QLabel(parent);
    m_firmwareProgress->setObjectName(QStringLiteral("fwProgressLbl"));
    m_firmwareProgress->setTextFormat(Qt::PlainText);
    m_firmwareProgress->hide();
    return m_firmwareProgress;
}

void BasePage::showFirmwareProgress(const QString &text)
{
    if (!m_firmwareProgress)
        return;
    m_firmwareProgress->setText(text);
    m_firmwareProgress->setVisible(!text.isEmpty());
}

QStringList BasePage::selectedSerials() const
{
    const QItemSelectionModel *selection = m_devicesListView->selectionModel();
    if (!m_model || !selection)
        return {};
    QModelIndexList rows = selection->selectedIndexes();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList serials;
    for (const QModelIndex &row : qAsConst(rows))
        serials << row.data(DevicesModel::SerialNumberRole).toString();
    return serials;
}

QString BasePage::upgradeTargetsText() const
{
    const QItemSelectionModel *selection = m_devicesListView->selectionModel();
    QModelIndexList rows = m_model && selection ? selection->selectedIndexes() : QModelIndexList();
    if (rows.isEmpty())
        return tr("on all attached devices     ");
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList names;
    for (const QModelIndex &row : qAsConst(rows)) {
        const QString name = row.data(DevicesModel::NameRole).toString();
        names << (name.isEmpty() ? row.data(DevicesModel::SerialNumberRole).toString() : name);
    }
    return tr("on the %n selected device(s): %1", nullptr, names.size()).arg(names.join(QStringLiteral(", ")));
}

void BasePage::refreshUpgradeTargets()
{
    if (m_upgradeTargets)
        m_upgradeTargets->setText(upgradeTargetsText());
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
    const int row = m_logModel->rowCount();
    m_logModel->insertRows(row, 1);
    m_logModel->setData(m_logModel->index(row), message);
    if (m_logModel->rowCount() > kMaxLogRows)
        m_logModel->removeRows(0, m_logModel->rowCount() - kMaxLogRows);
    if (m_followLog)
        scrollToEndLogs();
}

// Every change of the position but a growing log's is a move of the view: by
// the operator (wheel, scroll bar, keys) or by following. Where it lands
// decides whether the log follows.
void BasePage::onLogScrolled(int value)
{
    m_followLog = value >= m_logsListView->verticalScrollBar()->maximum();
}

bool BasePage::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_logsListView && event->type() == QEvent::Show)
        || (watched == m_logsListView->viewport() && event->type() == QEvent::Resize)) {
        if (m_followLog)
            scrollToEndLogs();
    }
    return QWidget::eventFilter(watched, event);
}

void BasePage::addLogActions()
{
    auto *copy = new QAction(tr("&Copy"), m_logsListView);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &BasePage::copySelectedLog);
    auto *save = new QAction(tr("&Save log as…"), m_logsListView);
    connect(save, &QAction::triggered, this, &BasePage::saveLogAs);
    m_logsListView->addAction(copy);
    m_logsListView->addAction(save);
    m_logsListView->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString BasePage::logText(bool selectedOnly) const
{
    QList<int> rows;
    if (selectedOnly) {
        for (const QModelIndex &index : m_logsListView->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
    } else {
        for (int row = 0; row < m_logModel->rowCount(); ++row)
            rows << row;
    }
    QStringList lines;
    for (int row : qAsConst(rows))
        lines << plainLogLine(m_logModel->index(row).data().toString());
    return lines.join(QLatin1Char('\n'));
}

void BasePage::copySelectedLog()
{
    const QString text = logText(true);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

bool BasePage::saveLog(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString text = logText(false);
    file.write(text.toUtf8());
    if (!text.isEmpty())
        file.write("\n");
    return file.commit();
}

void BasePage::saveLogAs()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save log as"),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/tamo-activity-log.txt"),
        tr("Text files (*.txt)"));
    if (path.isEmpty() || saveLog(path))
        return;
    CustomMessageBox::showMessage(this, CustomMessageBox::ErrorIcon, tr("Error"),
                                  tr("The activity log could not be saved to '%1'.").arg(path), QMessageBox::Ok,
                                  QMessageBox::Ok);
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
        connect(model, &QAbstractItemModel::dataChanged, this, &BasePage::refreshUpgradeTargets,
                Qt::UniqueConnection);
        connect(m_devicesListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &BasePage::refreshUpgradeTargets, Qt::UniqueConnection);
    }
    slotDevicesModelChanged();
    refreshUpgradeTargets();
}

void BasePage::slotDevicesModelChanged()
{
    const int count = deviceCount();
    m_devicesCountLbl->setText(QString::number(count));
    m_noDevicesLbl->setVisible(count < 1);
    refreshUpgradeTargets();
}

void BasePage::reset()
{
    setDevicesModel(nullptr);
    m_scrollTimer->stop();
    m_logModel->setStringList({});
    m_followLog = true;
}
