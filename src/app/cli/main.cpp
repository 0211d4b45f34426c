// tamo-cli: the devices side of the application without a window, for headless hub
// computers and scripts.
#include "AppPaths.h"
#include "AttachedDevicesWaiter.h"
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
    "                     battery. Exit code 0; 1 when the time-out passes first.\n"
    "  upgrade FILE       Upgrade every attached device with the firmware FILE,\n"
    "                     print progress and one result line per device, then the\n"
    "                     firmware each device reports once it is back. Exit code\n"
    "                     0 when every device was upgraded, 1 otherwise.\n"
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
    "Exit code 2: wrong arguments, a password file that every user may read, the\n"
    "devices owned by another program, or the instance lock not to be had.\n"
    "Exit code 3 (publish): the cloud refused the e-mail address or password;\n"
    "trying again with the same ones cannot help.\n"
    "Environment: TAMO_SIM_DIR (simulated serial ports), TAMO_DFU_UTIL (the firmware\n"
    "tool to run), TAMO_API_URL and TAMO_CA_CERTS (the cloud and the certificates\n"
    "it is trusted by).";

constexpr double kPublishTimeoutSeconds = 300;

QString deviceLine(const DeviceInfo &device)
{
    const QList<int> fields = {DeviceInfo::SerialNumber, DeviceInfo::PortName, DeviceInfo::MacAddress,
                               DeviceInfo::Name, DeviceInfo::FwVersion, DeviceInfo::Battery};
    QStringList columns;
    for (int field : fields)
        columns << device.value(field).toString().replace(QLatin1Char('\t'), QLatin1Char(' '));
    return columns.join(QLatin1Char('\t'));
}

// What the command line asked for, checked.
struct CliRequest {
    QString command;
    QString firmware;
    QString email;
    QString password;
    bool watch = false;
    bool reportStalls = false;
    double timeoutSeconds = 0;
    int timeoutMs() const { return static_cast<int>(qMin(timeoutSeconds * 1000.0, 2147483647.0)); }
};

// False (after saying why on standard error) when the arguments do not make a
// command.
bool parseRequest(const QCommandLineParser &parser, const QCommandLineOption &timeoutOption,
                  const QCommandLineOption &emailOption, const QCommandLineOption &passwordFileOption,
                  const QCommandLineOption &watchOption, const QCommandLineOption &stallsOption, QTextStream &err,
                  CliRequest *request)
{
    const QStringList args = parser.positionalArguments();
    request->command = args.value(0);
    const bool publish = request->command == QLatin1String("publish");
    bool timeoutOk = true;
    request->timeoutSeconds = publish && !parser.isSet(timeoutOption)
        ? kPublishTimeoutSeconds : parser.value(timeoutOption).toDouble(&timeoutOk);
    if (!timeoutOk || request->timeoutSeconds <= 0) {
        err << "tamo-cli: --timeout needs a positive number of seconds" << Qt::endl;
        return false;
    }
    if ((request->command != QLatin1String("devices") || args.size() != 1)
        && (request->command != QLatin1String("upgrade") || args.size() != 2) && (!publish || args.size() != 1)) {
        err << "tamo-cli: expected 'devices', 'upgrade FILE', 'publish' or 'convert FILE... -o DIR'; see --help"
            << Qt::endl;
        return false;
    }
    const bool publishOptions =
        parser.isSet(passwordFileOption) || parser.isSet(watchOption) || parser.isSet(stallsOption);
    if (publish != parser.isSet(emailOption) || (!publish && publishOptions)) {
        err << "tamo-cli: publish needs --email; --email, --password-file, --watch and --report-stalls belong to publish"
            << Qt::endl;
        return false;
    }
    request->firmware = args.value(1);
    if (request->command == QLatin1String("upgrade") && !QFileInfo(request->firmware).isFile()) {
        err << "tamo-cli: no such firmware file: " << request->firmware << Qt::endl;
        return false;
    }
    request->email = parser.value(emailOption);
    request->watch = parser.isSet(watchOption);
    request->reportStalls = parser.isSet(stallsOption);
    QString why;
    QString warning;
    const bool passwordRead =
        !publish || PasswordSource::read(parser.value(passwordFileOption), &request->password, &why, &warning);
    if (!warning.isEmpty())
        err << "tamo-cli: warning: " << warning << Qt::endl;
    if (!passwordRead) {
        err << "tamo-cli: " << why << Qt::endl;
        return false;
    }
    return true;
}

// devices and upgrade: wait for the attached devices, then list or upgrade them.
int runDevices(QCoreApplication &app, DevicesManager &manager, const CliRequest &request, QTextStream &out,
               QTextStream &err)
{
    AttachedDevicesWaiter waiter(&manager, request.timeoutMs());
    UpgradeSession upgrade(&manager, request.firmware, out);
    const bool upgrading = request.command == QLatin1String("upgrade");

    QObject::connect(&waiter, &AttachedDevicesWaiter::timedOut, &app, [&](const QString &reason) {
        err << "tamo-cli: time-out after " << request.timeoutSeconds << " s: " << reason << Qt::endl;
        QCoreApplication::exit(1);
    });
    QObject::connect(&waiter, &AttachedDevicesWaiter::ready, &app, [&] {
        const QVector<DeviceInfo> devices = manager.devicesModel()->devices();
        if (!upgrading) {
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
    QTimer::singleShot(request.timeoutMs(), &upgrade, [&] {
        if (upgrading)
            upgrade.giveUp();
    });
    waiter.start();
    return app.exec();
}

// publish: log in and publish until every device is done (or, watching, until stopped).
int runPublish(QCoreApplication &app, DevicesManager &manager, CliRequest &request, QTextStream &out, QTextStream &err)
{
    NetworkManager network;
    PublishRun run(&manager, &network, out, err, request.watch, request.timeoutMs());
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
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("devices | upgrade FILE | publish | convert FILE... -o DIR"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Give up after S seconds (default 60; publish: 300)."),
                                           QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Also write the log to FILE."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption emailOption(QStringLiteral("email"), QStringLiteral("publish: the account's e-mail."),
                                         QStringLiteral("ADDRESS"));
    const QCommandLineOption passwordFileOption(
        QStringLiteral("password-file"),
        QStringLiteral("publish: the password is FILE's first line (default: standard input's)."),
        QStringLiteral("FILE"));
    const QCommandLineOption watchOption(QStringLiteral("watch"),
                                         QStringLiteral("publish: keep publishing until SIGTERM or SIGINT."));
    const QCommandLineOption stallsOption(
        QStringLiteral("report-stalls"),
        QStringLiteral("publish: at the end, print the longest time the event loop was kept busy."));
    parser.addOptions({timeoutOption, logOption, emailOption, passwordFileOption, watchOption, stallsOption});
    const ConvertCommand convert(parser);
    parser.process(app);

    QTextStream err(stderr);
    if (convert.requested()) {
        QTextStream out(stdout);
        return convert.run(out, err);
    }
    if (convert.optionsGiven()) {
        err << "tamo-cli: --output and --preview belong to convert" << Qt::endl;
        return 2;
    }
    CliRequest request;
    if (!parseRequest(parser, timeoutOption, emailOption, passwordFileOption, watchOption, stallsOption, err,
                      &request))
        return 2;

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
        err << "tamo-cli: the TAMO application (or another tamo-cli) is running and owns the devices" << Qt::endl;
        return 2;
    case InstanceGuard::Lock::Unavailable:
        err << "tamo-cli: " << guard.errorString() << Qt::endl;
        return 2;
    }

    QTextStream out(stdout);
    DevicesManager manager;
    const int exitCode = request.command == QLatin1String("publish") ? runPublish(app, manager, request, out, err)
                                                                     : runDevices(app, manager, request, out, err);
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
