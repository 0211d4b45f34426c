#include "AppPaths.h"
#include "CloudAddresses.h"
#include "CommandLine.h"
#include "CrashHandler.h"
#include "InstanceGuard.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "MainApp.h"
#include "TerminationWatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Armed before anything else can fail.
    CrashHandler::install();
    if (CommandLine::answerInformationRequest(argc, argv))
        return 0;

    QApplication app(argc, argv);
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
    controller.start();
    return app.exec();
}
