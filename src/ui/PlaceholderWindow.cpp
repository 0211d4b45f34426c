#include "PlaceholderWindow.h"

#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

const QString PlaceholderWindow::WindowTitle = QStringLiteral("TAMO Halvic - Desktop App (1.0.95)");

PlaceholderWindow::PlaceholderWindow(QAbstractItemModel *devices, QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(WindowTitle);
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(tr("Attached devices:"), central));
    auto *list = new QListView(central);
    list->setObjectName(QStringLiteral("devicesList"));
    list->setModel(devices);
    layout->addWidget(list);
    setCentralWidget(central);
    resize(480, 360);
}
