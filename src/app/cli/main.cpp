// tamo-cli: the devices side of the application without a window, for headless hub
// computers and scripts.
#include "AttachedDevicesWaiter.h"
#include "CloudAddresses.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "InstanceGuard.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "UpgradeSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>

namespace {

const char *const kDescription =
    "The TAMO desktop companion's device side, without a window.\n"
    "\n"
    "Commands:\n"
    "  devices            Discover the attached devices, wait until each has been\n"
    "                     read, and print one tab-separated line per device:\n"
    "                     USB serial number, port, MAC, name, firmware version,\n"
    "                     battery. Exit code 0; 1 when the time-out passes first.\n"
    "  upgrade FILE       Upgrade every attached device with the firmware FILE,\n"
    "                     print progress and one result line per device, then the\n"
    "                     firmware each device reports once it is back. Exit code\n"
    "                     0 when every device was upgraded, 1 otherwise.\n"
    "\n"
    "Log lines go to standard error (and to --log FILE); results to standard output.\n"
    "Environment: TAMO_SIM_DIR (simulated serial ports), TAMO_DFU_UTIL (the firmware\n"
    "tool to run).";

QString deviceLine(const DeviceInfo &device)
{
    const QList<int> fields = {DeviceInfo::SerialNumber, DeviceInfo::PortName, DeviceInfo::MacAddress,
                               DeviceInfo::Name, DeviceInfo::FwVersion, DeviceInfo::Battery};
    QStringList columns;
    for (int field : fields)
        columns << device.value(field).toString().replace(QLatin1Char('\t'), QLatin1Char(' '));
    return columns.join(QLatin1Char('\t'));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("devices | upgrade FILE"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Give up after S seconds (default 60)."),
                                           QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Also write the log to FILE."),
                                       QStringLiteral("FILE"));
    parser.addOption(timeoutOption);
    parser.addOption(logOption);
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    bool timeoutOk = false;
    const double timeoutSeconds = parser.value(timeoutOption).toDouble(&timeoutOk);
    QTextStream err(stderr);
    if (!timeoutOk || timeoutSeconds <= 0) {
        err << "tamo-cli: --timeout needs a positive number of seconds" << Qt::endl;
        return 2;
    }
    if ((command != QLatin1String("devices") || args.size() != 1)
        && (command != QLatin1String("upgrade") || args.size() != 2)) {
        err << "tamo-cli: expected 'devices' or 'upgrade FILE'; see --help" << Qt::endl;
        return 2;
    }
    const QString firmware = args.value(1);
    if (command == QLatin1String("upgrade") && !QFileInfo(firmware).isFile()) {
        err << "tamo-cli: no such firmware file: " << firmware << Qt::endl;
        return 2;
    }

    // The window's log file belongs to the window; this tool writes one only on request.
    Logger::setFilePath(parser.value(logOption));
    qInstallMessageHandler(logMessageHandler);
    Logger::instance()->setFileLoggingEnabled(parser.isSet(logOption));
    CloudAddresses::logEnvironmentOverrides();

    // Two programs driving the same ports would break each other's transfers.
    InstanceGuard guard;
    if (guard.isAnotherInstanceRunning()) {
        err << "tamo-cli: the TAMO application (or another tamo-cli) is running and owns the devices" << Qt::endl;
        return 2;
    }

    QTextStream out(stdout);
    const int timeoutMs = static_cast<int>(qMin(timeoutSeconds * 1000.0, 2147483647.0));
    DevicesManager manager;
    AttachedDevicesWaiter waiter(&manager, timeoutMs);
    UpgradeSession upgrade(&manager, firmware, out);
    int exitCode = 0;

    QObject::connect(&waiter, &AttachedDevicesWaiter::timedOut, &app, [&](const QString &reason) {
        err << "tamo-cli: time-out after " << timeoutSeconds << " s: " << reason << Qt::endl;
        QCoreApplication::exit(1);
    });
    QObject::connect(&waiter, &AttachedDevicesWaiter::ready, &app, [&] {
        const QVector<DeviceInfo> devices = manager.devicesModel()->devices();
        if (command == QLatin1String("devices")) {
            for (const DeviceInfo &device : devices)
                out << deviceLine(device) << Qt::endl;
            QCoreApplication::exit(0);
            return;
        }
        if (devices.isEmpty()) {
            err << "tamo-cli: no device attached" << Qt::endl;
            QCoreApplication::exit(1);
            return;
        }
        upgrade.start();
    });
    QObject::connect(&upgrade, &UpgradeSession::done, &app, [](int code) { QCoreApplication::exit(code); });
    // The time-out bounds the whole run, the upgrade included.
    QTimer::singleShot(timeoutMs, &upgrade, [&] {
        if (command == QLatin1String("upgrade"))
            upgrade.giveUp();
    });

    waiter.start();
    exitCode = app.exec();
    // A device in the middle of its download is not cut off: the queued ones are
    // dropped, the running one ends with the event loop alive.
    QEventLoop rest;
    QObject::connect(&manager, &DevicesManager::firmwareIdle, &rest, &QEventLoop::quit);
    manager.stopUpgradingDevices();
    if (manager.isFirmwareRunning())
        rest.exec();
    manager.reset();
    // Stopped runners let go of their ports quickly; let them finish before exit.
    QThreadPool::globalInstance()->waitForDone(10000);
    return exitCode;
}
