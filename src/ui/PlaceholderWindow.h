#pragma once

#include <QMainWindow>

class QAbstractItemModel;

// The window shown until the application controller takes over: the title and
// the list of attached devices as discovery reports them.
class PlaceholderWindow : public QMainWindow
{
    Q_OBJECT

public:
    static const QString WindowTitle;

    explicit PlaceholderWindow(QAbstractItemModel *devices, QWidget *parent = nullptr);
};
