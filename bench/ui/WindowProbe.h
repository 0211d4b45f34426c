#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class EventLoopStallMeter;
class MainApp;

// The application's window in a child process of tamo-bench-ui, as main() builds
// it, reporting on standard output: "painted T" at the first paint of the login
// page (T: the monotonic clock in ms, which the parent compares with its own at
// the start), then, with an account, "published N own_stall_ms=S stall_ms=W" once
// N devices have their campaign — the operator's login typed into the page, the
// longest stall of the GUI thread measured from the click on.
class WindowProbe : public QObject
{
public:
    static int run(int argc, char *argv[]);

private:
    WindowProbe(MainApp *app, const QString &email, const QString &password, int devices);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void logIn();
    void onLogined(bool success);

    MainApp *m_app;
    QString m_email;
    QString m_password;
    int m_devices;
    bool m_painted = false;
    EventLoopStallMeter *m_stalls = nullptr;
    QSet<QString> m_published;
};
