#include "AppPaths.h"
#include "CloudAddresses.h"
#include "CommandLine.h"
#include "CrashHandler.h"
#include "CustomMessageBox.h"
#include "InstanceActivation.h"
#include "InstanceGuard.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "TerminationWatcher.h"
#include "WindowLook.h"

#include <QApplication>
#include <QDebug>

namespace {

const char *const kHubRunsTitle = QT_TRANSLATE_NOOP("main", "TAMO hub is running");
const char *const kHubRunsText = QT_TRANSLATE_NOOP(
    "main",
    "The TAMO devices are in use by tamo-cli, the TAMO hub service, which keeps them published "
    "without a window. Only one of the two can work with the devices.\n\n"
    "To use the window instead, stop the service and start the application again:\n\n"
    "    systemctl --user stop tamo-hub");

// A second start: the running window comes to the front; when the devices are
// held by tamo-cli instead, the operator is told why nothing opens.
void answerSecondStart(const InstanceGuard &guard)
{
    if (guard.holder() == QLatin1String("tamo-cli")) {
        const QString text = QCoreApplication::translate("main", kHubRunsText);
        qDebug().noquote() << text;
        CustomMessageBox::showMessage(nullptr, CustomMessageBox::CriticalIcon,
                                      QCoreApplication::translate("main", kHubRunsTitle), text, QMessageBox::Ok,
                                      QMessageBox::Ok);
        return;
    }
    if (!InstanceActivation::knock(guard.socketPath()))
        qDebug("The running instance did not answer");
}

} // namespace

int main(int argc, char *argv[])
{
    // Armed before anything else can fail.
    CrashHandler::install();
    if (CommandLine::answerInformationRequest(argc, argv))
        return 0;

    WindowLook::prepareApplication();
    QApplication app(argc, argv);
    // The window's own colours, whatever the desktop's scheme.
    WindowLook::apply();
    // Lets the desktop (Wayland in particular) match the window to the installed
    // desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tamo.Tamo"));
    AppPaths::ensureDataFolder();

    // Asked before the logger exists: the logger empties logs.txt when it is
    // created, and a refused second start must leave the running instance's file
    // alone. Its refusal still goes through the log handler to standard error.
    InstanceGuard instanceGuard;
    const bool otherInstance = instanceGuard.isAnotherInstanceRunning();
    if (otherInstance)
        Logger::setFilePath(QString());

    qInstallMessageHandler(logMessageHandler);

    if (otherInstance) {
        qDebug("Other instance of the application already running");
        answerSecondStart(instanceGuard);
        return 0;
    }
    Logger::instance()->setFileLoggingEnabled(app.arguments().contains(QStringLiteral("-l")));
    // Watched before the start line: whoever waits for that line may stop the
    // application at once, and must find it ending normally.
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app,
                     [](int signalNumber) {
                         qDebug("Terminating on signal %d", signalNumber);
                         QCoreApplication::quit();
                     });
    qDebug("Tamo %s started, process %lld", TAMO_VERSION, QCoreApplication::applicationPid());
    CloudAddresses::logEnvironmentOverrides();

    MainApp controller;
    InstanceActivation activation(instanceGuard.socketPath());
    QObject::connect(&activation, &InstanceActivation::activationRequested, controller.window(), [&controller] {
        qDebug("Started again: the window comes to the front");
        controller.window()->bringToFront();
    });
    activation.listen();
    controller.start();
    return app.exec();
}
