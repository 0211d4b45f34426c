#include "AppPaths.h"
#include "CrashHandler.h"
#include "DeviceInfo.h"
#include "DevicesModel.h"
#include "DevicesTracker.h"
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

    DeviceInfo::registerMetaTypes();

    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app,
                     [](int signalNumber) {
                         qDebug("Terminating on signal %d", signalNumber);
                         QCoreApplication::quit();
                     });

    DevicesModel devices;
    DevicesTracker tracker(&devices);
    QObject::connect(&tracker, &DevicesTracker::devicesReady, &devices,
                     [&devices](const QVector<DeviceInfo> &found) {
                         for (const DeviceInfo &info : found)
                             qDebug("Device '%s' attached on port '%s'",
                                    qUtf8Printable(info.value(DeviceInfo::SerialNumber).toString()),
                                    qUtf8Printable(info.value(DeviceInfo::PortName).toString()));
                         // Until the devices manager reads identities, the serial
                         // number stands in for the name.
                         QVector<DeviceInfo> named = found;
                         for (DeviceInfo &info : named)
                             info.setValue(DeviceInfo::Name, info.value(DeviceInfo::SerialNumber));
                         devices.addDevices(named);
                     });
    QObject::connect(&tracker, &DevicesTracker::devicesRemoved, &devices,
                     [&devices](const QVector<QString> &serials) {
                         for (const QString &serial : serials)
                             qDebug("Device '%s' detached", qUtf8Printable(serial));
                         devices.removeDevices(serials);
                     });

    PlaceholderWindow window(&devices);
    window.show();
    tracker.start();

    return app.exec();
}
