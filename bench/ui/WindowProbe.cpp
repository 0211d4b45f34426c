#include "WindowProbe.h"

#include "AppPaths.h"
#include "BenchReport.h"
#include "EventLoopStallMeter.h"
#include "LogMessageHandler.h"
#include "LoginPage.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "PublishingProgress.h"
#include "PublishingSession.h"
#include "WindowLook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using BenchReport::fail;
using BenchReport::say;

// tamo-bench-ui --probe [EMAIL PASSWORD-FILE DEVICES]
int WindowProbe::run(int argc, char *argv[])
{
    // Started as main() starts the window.
    WindowLook::prepareApplication();
    QApplication application(argc, argv);
    AppPaths::ensureDataFolder();
    qInstallMessageHandler(logMessageHandler);
    const QStringList arguments = application.arguments();
    QString password;
    if (arguments.size() >= 5) {
        QFile file(arguments.at(3));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("no password file %1").arg(file.fileName()));
        password = QString::fromUtf8(file.readLine()).trimmed();
    }
    MainApp app;
    WindowProbe probe(&app, arguments.value(2), password, arguments.value(4).toInt());
    app.start();
    return application.exec();
}

WindowProbe::WindowProbe(MainApp *app, const QString &email, const QString &password, int devices)
    : m_app(app)
    , m_email(email)
    , m_password(password)
    , m_devices(devices)
{
    m_app->window()->loginPage()->installEventFilter(this);
    // After the controller's own connection: the publishing session exists by then.
    connect(m_app->networkManager(), &NetworkManager::logined, this,
            [this](bool success, const QString &) { onLogined(success); });
}

bool WindowProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QElapsedTimer now;
        now.start();
        say(QStringLiteral("painted %1").arg(now.msecsSinceReference()));
        if (!m_email.isEmpty())
            QTimer::singleShot(0, this, &WindowProbe::logIn);
    }
    return QObject::eventFilter(watched, event);
}

void WindowProbe::logIn()
{
    LoginPage *page = m_app->window()->loginPage();
    page->findChild<QLineEdit *>(QStringLiteral("emailLineEdit"))->setText(m_email);
    page->findChild<QLineEdit *>(QStringLiteral("passLineEdit"))->setText(m_password);
    m_stalls = new EventLoopStallMeter(this);
    m_stalls->start();
    page->findChild<QPushButton *>(QStringLiteral("loginButton"))->click();
}

void WindowProbe::onLogined(bool success)
{
    if (!success || !m_app->publishingSession())
        fail(QStringLiteral("the window did not log in"));
    connect(m_app->publishingSession()->progress(), &PublishingProgress::finished, this,
            [this](const QString &mac, PublishingProgress::Outcome outcome, const QString &detail) {
                if (outcome == PublishingProgress::Failed)
                    fail(QStringLiteral("%1 failed: %2").arg(mac, detail));
                if (outcome != PublishingProgress::Published || m_published.contains(mac))
                    return;
                m_published.insert(mac);
                if (m_published.size() != m_devices)
                    return;
                say(QStringLiteral("published %1 own_stall_ms=%2 stall_ms=%3")
                        .arg(m_devices)
                        .arg(m_stalls->longestOwnStallMs())
                        .arg(m_stalls->longestStallMs()));
                // Its 5 ms ticks (each reading /proc) are the probe's cost, not the
                // window's: the idle window is measured without them.
                delete m_stalls;
                m_stalls = nullptr;
            });
}
