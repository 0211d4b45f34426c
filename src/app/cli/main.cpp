// tamo-cli: the devices side of the application without a window, for headless hub
// computers and scripts.
#include "AppPaths.h"
#include "AttachedDevicesWaiter.h"
#include "CliPrinter.h"
#include "CloudAddresses.h"
#include "ConvertCommand.h"
#include "EventLoopStallMeter.h"
#include "DevicesManager.h"
#include "DevicesModel.h"
#include "InstanceGuard.h"
#include "LogMessageHandler.h"
#include "Logger.h"
#include "NetworkManager.h"
#include "PasswordSource.h"
#include "PublishRun.h"
#include "TerminationWatcher.h"
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
    "                     battery, and for a device that could not be read a\n"
    "                     seventh column: why. Exit code 0; 1 when a device could\n"
    "                     not be read or the time-out passes first.\n"
    "  upgrade FILE [--serial SERIAL]...\n"
    "                     Upgrade the attached devices with these USB serial\n"
    "                     numbers (every attached device without --serial) with\n"
    "                     the firmware FILE, up to 8 at once. Prints per device\n"
    "                     SERIAL downloading N% | SERIAL upgraded |\n"
    "                     SERIAL failed REASON, after each device\n"
    "                     * overall N of M upgraded, about X min left,\n"
    "                     then SERIAL firmware VERSION once a device is back.\n"
    "                     Exit code 0 when every device was upgraded, 1 otherwise.\n"
    "  publish --email ADDRESS [--password-file FILE] [--watch]\n"
    "                     Log in to the cloud and publish to every attached device\n"
    "                     what the window would: register it, apply the cloud's\n"
    "                     record, fetch, convert and upload its campaign, report\n"
    "                     back. The password is the first line of FILE, or of\n"
    "                     standard input (never an argument: ps would show it).\n"
    "                     One tab-separated line per device and step:\n"
    "                       MAC registered | MAC campaign EVENT |\n"
    "                       MAC uploaded N items | MAC up to date |\n"
    "                       MAC failed REASON (also: firmware offered, erasing,\n"
    "                       erased, before the device's next pass).\n"
    "                     Ends when every attached device is published, up to\n"
    "                     date or failed: exit code 0 when none failed, 1\n"
    "                     otherwise, or when the time-out (default 300 s) passes\n"
    "                     first, naming the devices still busy. With --watch it\n"
    "                     keeps publishing, every 30 s, until SIGTERM or SIGINT\n"
    "                     (exit code 0). --report-stalls prints, at the end,\n"
    "                     the longest time the event loop was kept busy.\n"
    "  convert FILE... -o DIR [--preview]\n"
    "                     Write into DIR what a device would receive for each\n"
    "                     picture FILE, converted as publishing converts it:\n"
    "                     NAME.N.jpg per frame (NAME.N.MSms.jpg for an\n"
    "                     animation's frames, with their display time); with\n"
    "                     --preview also NAME.preview.png, what the round\n"
    "                     display shows. Prints the written paths; exit code 1\n"
    "                     when a picture cannot be converted. Touches no device.\n"
    "\n"
    "Log lines go to standard error (and to --log FILE); results to standard output.\n"
    "With --json, devices, upgrade and publish print JSON Lines instead: one object\n"
    "per line with the keys serial, mac, event, detail, reason and progress (null\n"
    "where there is nothing); devices adds port, name, firmware and battery, and\n"
    "an error is the event \"error\" with its reason.\n"
    "Exit code 2: wrong arguments, a password file that every user may read, the\n"
    "devices owned by another program, or the instance lock not to be had.\n"
    "Exit code 3 (publish): the cloud refused the e-mail address or password;\n"
    "trying again with the same ones cannot help.\n"
    "Environment: TAMO_SIM_DIR (simulated serial ports), TAMO_DFU_UTIL (the firmware\n"
    "tool to run), TAMO_API_URL and TAMO_CA_CERTS (the cloud and the certificates\n"
    "it is trusted by).";

constexpr double kPublishTimeoutSeconds = 300;

// Why a listed device could not be read; empty when it was. Without a MAC the
// device cannot be told apart towards the cloud, whatever else was read.
QString unreadReason(const DeviceInfo &device)
{
    if (!device.value(DeviceInfo::MacAddress).toString().isEmpty())
        return QString();
    const QString reason = device.value(DeviceInfo::LastError).toString();
    return reason.isEmpty() ? QStringLiteral("the device could not be read") : reason;
}

// What the command line asked for, checked.
struct CliRequest {
    QString command;
    QString firmware;
    QStringList serials;
    QString email;
    QString password;
    bool watch = false;
    bool reportStalls = false;
    double timeoutSeconds = 0;
    int timeoutMs() const { return static_cast<int>(qMin(timeoutSeconds * 1000.0, 2147483647.0)); }
};

// The options of the device commands.
struct CliOptions {
    QCommandLineOption timeout;
    QCommandLineOption email;
    QCommandLineOption passwordFile;
    QCommandLineOption watch;
    QCommandLineOption stalls;
    QCommandLineOption serial;
};

// Why the arguments do not make a command; empty when they do. A password file
// that is read but looser than it should be gives a warning.
QString parseRequest(const QCommandLineParser &parser, const CliOptions &options, CliRequest *request,
                     QString *passwordWarning)
{
    const QStringList args = parser.positionalArguments();
    request->command = args.value(0);
    const bool publish = request->command == QLatin1String("publish");
    bool timeoutOk = true;
    request->timeoutSeconds = publish && !parser.isSet(options.timeout)
        ? kPublishTimeoutSeconds : parser.value(options.timeout).toDouble(&timeoutOk);
    if (!timeoutOk || request->timeoutSeconds <= 0)
        return QStringLiteral("--timeout needs a positive number of seconds");
    if ((request->command != QLatin1String("devices") || args.size() != 1)
        && (request->command != QLatin1String("upgrade") || args.size() != 2) && (!publish || args.size() != 1))
        return QStringLiteral("expected 'devices', 'upgrade FILE', 'publish' or 'convert FILE... -o DIR'; see --help");
    const bool publishOptions =
        parser.isSet(options.passwordFile) || parser.isSet(options.watch) || parser.isSet(options.stalls);
    if (publish != parser.isSet(options.email) || (!publish && publishOptions))
        return QStringLiteral("publish needs --email; --email, --password-file, --watch and --report-stalls belong to publish");
    request->serials = parser.values(options.serial);
    if (!request->serials.isEmpty() && request->command != QLatin1String("upgrade"))
        return QStringLiteral("--serial belongs to upgrade");
    request->firmware = args.value(1);
    if (request->command == QLatin1String("upgrade") && !QFileInfo(request->firmware).isFile())
        return QStringLiteral("no such firmware file: ") + request->firmware;
    request->email = parser.value(options.email);
    request->watch = parser.isSet(options.watch);
    request->reportStalls = parser.isSet(options.stalls);
    QString why;
    QString warning;
    const bool passwordRead =
        !publish || PasswordSource::read(parser.value(options.passwordFile), &request->password, &why, &warning);
    if (!warning.isEmpty())
        *passwordWarning = warning;
    return passwordRead ? QString() : why;
}

// devices and upgrade: wait for the attached devices, then list or upgrade them.
int runDevices(QCoreApplication &app, DevicesManager &manager, const CliRequest &request, CliPrinter &printer)
{
    AttachedDevicesWaiter waiter(&manager, request.timeoutMs());
    UpgradeSession upgrade(&manager, request.firmware, request.serials, printer);
    const bool upgrading = request.command == QLatin1String("upgrade");

    QObject::connect(&waiter, &AttachedDevicesWaiter::timedOut, &app, [&](const QString &reason) {
        printer.error(QStringLiteral("time-out after %1 s: %2").arg(request.timeoutSeconds).arg(reason));
        QCoreApplication::exit(1);
    });
    QObject::connect(&waiter, &AttachedDevicesWaiter::ready, &app, [&] {
        const QVector<DeviceInfo> devices = manager.devicesModel()->devices();
        if (!upgrading) {
            bool allRead = true;
            for (const DeviceInfo &device : devices) {
                const QString reason = unreadReason(device);
                allRead = allRead && reason.isEmpty();
                printer.device(device, reason);
            }
            QCoreApplication::exit(allRead ? 0 : 1);
            return;
        }
        if (devices.isEmpty()) {
            printer.error(QStringLiteral("no device attached"));
            QCoreApplication::exit(1);
            return;
        }
        upgrade.start();
    });
    QObject::connect(&upgrade, &UpgradeSession::done, &app, [](int code) { QCoreApplication::exit(code); });
    // The time-out bounds the whole run, the upgrade included.
    QTimer::singleShot(request.timeoutMs(), &upgrade, [&] {
        if (upgrading)
            upgrade.giveUp();
    });
    waiter.start();
    return app.exec();
}

// publish: log in and publish until every device is done (or, watching, until stopped).
int runPublish(QCoreApplication &app, DevicesManager &manager, CliRequest &request, CliPrinter &printer,
               QTextStream &err)
{
    NetworkManager network;
    PublishRun run(&manager, &network, printer, request.watch, request.timeoutMs());
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &run, [&run] { run.stop(false); });
    QObject::connect(&run, &PublishRun::done, &app, [](int code) { QCoreApplication::exit(code); });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &run, [&run] { run.stop(true); });
    if (!request.watch)
        timeout.start(request.timeoutMs());
    EventLoopStallMeter stalls;
    if (request.reportStalls)
        stalls.start();
    run.start(request.email, request.password);
    request.password.clear();
    const int exitCode = app.exec();
    if (request.reportStalls)
        err << "tamo-cli: longest event-loop stall: " << stalls.longestOwnStallMs() << " ms ("
            << stalls.longestStallMs() << " ms with the time other programs held the processors)" << Qt::endl;
    return exitCode;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("devices | upgrade FILE | publish | convert FILE... -o DIR"));
    const CliOptions options{
        {QStringLiteral("timeout"), QStringLiteral("Give up after S seconds (default 60; publish: 300)."),
         QStringLiteral("S"), QStringLiteral("60")},
        {QStringLiteral("email"), QStringLiteral("publish: the account's e-mail."), QStringLiteral("ADDRESS")},
        {QStringLiteral("password-file"),
         QStringLiteral("publish: the password is FILE's first line (default: standard input's)."),
         QStringLiteral("FILE")},
        {QStringLiteral("watch"), QStringLiteral("publish: keep publishing until SIGTERM or SIGINT.")},
        {QStringLiteral("report-stalls"),
         QStringLiteral("publish: at the end, print the longest time the event loop was kept busy.")},
        {QStringLiteral("serial"),
         QStringLiteral("upgrade: only the device with this USB serial number (repeat for more)."),
         QStringLiteral("SERIAL")},
    };
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Also write the log to FILE."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("devices, upgrade, publish: print JSON Lines."));
    parser.addOptions({options.timeout, logOption, options.email, options.passwordFile, options.watch, options.stalls,
                       options.serial, jsonOption});
    const ConvertCommand convert(parser);

    QTextStream err(stderr);
    QTextStream out(stdout);
    // Wrong arguments are a usage error (2), unknown options included.
    const bool parsed = parser.parse(app.arguments());
    CliPrinter printer(out, err, parsed ? (parser.isSet(jsonOption) ? CliPrinter::Json : CliPrinter::Text)
                                        : (app.arguments().contains(QStringLiteral("--json")) ? CliPrinter::Json
                                                                                             : CliPrinter::Text));
    if (!parsed) {
        printer.error(parser.errorText() + QStringLiteral(" See --help."));
        return 2;
    }
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (convert.requested()) {
        if (parser.isSet(jsonOption)) {
            printer.error(QStringLiteral("--json belongs to devices, upgrade and publish"));
            return 2;
        }
        return convert.run(out, err);
    }
    if (convert.optionsGiven()) {
        printer.error(QStringLiteral("--output and --preview belong to convert"));
        return 2;
    }
    CliRequest request;
    QString passwordWarning;
    const QString problem = parseRequest(parser, options, &request, &passwordWarning);
    if (!passwordWarning.isEmpty())
        err << "tamo-cli: warning: " << passwordWarning << Qt::endl;
    if (!problem.isEmpty()) {
        printer.error(problem);
        return 2;
    }

    // The window's log file belongs to the window; this tool writes one only on request.
    Logger::setFilePath(parser.value(logOption));
    qInstallMessageHandler(logMessageHandler);
    Logger::instance()->setFileLoggingEnabled(parser.isSet(logOption));
    CloudAddresses::logEnvironmentOverrides();

    // Two programs driving the same ports would break each other's transfers. A
    // user who never started the window has no data folder yet; without the lock
    // nothing keeps the window off the devices, so no lock means no run.
    AppPaths::ensureDataFolder();
    InstanceGuard guard;
    switch (guard.take()) {
    case InstanceGuard::Lock::Taken:
        break;
    case InstanceGuard::Lock::Held:
        printer.error(QStringLiteral("the TAMO application (or another tamo-cli) is running and owns the devices"));
        return 2;
    case InstanceGuard::Lock::Unavailable:
        printer.error(guard.errorString());
        return 2;
    }

    DevicesManager manager;
    const int exitCode = request.command == QLatin1String("publish") ? runPublish(app, manager, request, printer, err)
                                                                     : runDevices(app, manager, request, printer);
    // A device in the middle of its download is not cut off: the queued ones are
    // dropped, the running ones end with the event loop alive.
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
