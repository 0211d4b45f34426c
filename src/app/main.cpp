#include "AppPaths.h"
#include "CloudAddresses.h"
#include "CrashHandler.h"
#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "InstanceGuard.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "PlaceholderWindow.h"
#include "TerminationWatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Armed before anything else can fail.
    CrashHandler::install();

    QApplication app(argc, argv);
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
    qDebug("Tamo %s started, process %lld", TAMO_VERSION, QCoreApplication::applicationPid());
    CloudAddresses::logEnvironmentOverrides();

    DeviceInfo::registerMetaTypes();

    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app,
                     [](int signalNumber) {
                         qDebug("Terminating on signal %d", signalNumber);
                         QCoreApplication::quit();
                     });

    // Until the application controller exists, the window shows what the devices
    // manager finds and the activity log.
    DevicesManager manager;
    PlaceholderWindow window(manager.devicesModel());
    QObject::connect(Logger::instance(), &Logger::readableMessageAdded, &window,
                     &PlaceholderWindow::addLogMessage);
    window.show();
    manager.startTracking();

    return app.exec();
}
