#include "PlaceholderWindow.h"

#include "DeviceListDelegate.h"
#include "DevicesModel.h"
#include "LogsDelegate.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QSplitter>
#include <QStringListModel>
#include <QVBoxLayout>

const QString PlaceholderWindow::WindowTitle = QStringLiteral("TAMO Halvic - Desktop App (1.0.95)");

PlaceholderWindow::PlaceholderWindow(DevicesModel *devices, QWidget *parent)
    : QMainWindow(parent)
    , m_log(new QStringListModel(this))
    , m_logView(new QListView(this))
{
    setWindowTitle(WindowTitle);
    QFont rowFont = QApplication::font();
    rowFont.setPointSize(9);
    devices->setFont(rowFont);

    auto *list = new QListView(this);
    list->setObjectName(QStringLiteral("devicesList"));
    list->setModel(devices);
    list->setItemDelegate(new DeviceListDelegate(DeviceListDelegate::FullCard, list));

    m_logView->setObjectName(QStringLiteral("logsList"));
    m_logView->setModel(m_log);
    m_logView->setItemDelegate(new LogsDelegate(m_logView));
    m_logView->setWordWrap(true);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    auto *splitter = new QSplitter(Qt::Vertical, central);
    auto *devicesPane = new QWidget(splitter);
    auto *devicesLayout = new QVBoxLayout(devicesPane);
    devicesLayout->setContentsMargins(0, 0, 0, 0);
    devicesLayout->addWidget(new QLabel(tr("Attached devices"), devicesPane));
    devicesLayout->addWidget(list);
    auto *logPane = new QWidget(splitter);
    auto *logLayout = new QVBoxLayout(logPane);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(new QLabel(tr("Activity log"), logPane));
    logLayout->addWidget(m_logView);
    layout->addWidget(splitter);
    setCentralWidget(central);
    resize(640, 720);
}

void PlaceholderWindow::addLogMessage(const QString &msg)
{
    const int row = m_log->rowCount();
    m_log->insertRows(row, 1);
    m_log->setData(m_log->index(row), msg);
    m_logView->scrollToBottom();
}
