#include "IdleHost.h"

#include "DeviceInfo.h"
#include "DevicesManager.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "TerminationWatcher.h"

#include <QCoreApplication>

int IdleHost::run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Logger::setFilePath(QString());
    qInstallMessageHandler(logMessageHandler);
    DeviceInfo::registerMetaTypes();
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, &QCoreApplication::quit);
    DevicesManager manager;
    manager.startTracking();
    return app.exec();
}
