#pragma once

#include <QMainWindow>

class DevicesModel;
class QListView;
class QStringListModel;

// The window shown until the application controller takes over: the title, the
// attached devices as cards, and the activity log.
class PlaceholderWindow : public QMainWindow
{
    Q_OBJECT

public:
    static const QString WindowTitle;

    explicit PlaceholderWindow(DevicesModel *devices, QWidget *parent = nullptr);

public slots:
    void addLogMessage(const QString &msg);

private:
    QStringListModel *m_log;
    QListView *m_logView;
};
