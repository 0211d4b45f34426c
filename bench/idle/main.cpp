// tamo-bench-idle: what the application costs while nothing happens.
//
// For 0, 1 and 20 simulated devices: starts the device side of the application
// headless, waits until every device has been read ("Connected 1 device(s)" on
// its standard error, once per device), lets it settle, then measures the
// process's CPU time and its threads' context switches over 60 s. By default
// the process is this program in --host mode: the application's devices manager
// with the application's log handler (see IdleHost). --app PROGRAM measures
// another program the same way, run on the offscreen platform (a window that
// tracks devices from its start, for instance). The last line is
//    idle_cpu_pct_0=A idle_cpu_pct_20=B wakeups_per_s=W
// with W, context switches per second, from the run with 20 devices.
#include "BenchReport.h"
#include "BenchSimulator.h"
#include "IdleHost.h"
#include "ProcessUsage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using BenchReport::fail;
using BenchReport::loadAverage;
using BenchReport::say;

const QByteArray kReadLine = "Connected 1 device(s)";

struct Options {
    QString program;
    QStringList arguments;
    int seconds = 60;
    int settleSeconds = 5;
    QList<int> deviceCounts{0, 1, 20};
    bool verbose = false;
};

struct Figures {
    double cpuPercent = -1;
    double wakeupsPerSecond = -1;
};

// Reads what the application says for `ms`; returns how many devices it has read so far.
int listen(QProcess &app, int ms, const Options &options, int readSoFar)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && app.state() == QProcess::Running) {
        app.waitForReadyRead(int(qMax<qint64>(1, ms - clock.elapsed())));
        const QByteArray text = app.readAllStandardError();
        readSoFar += text.count(kReadLine);
        if (options.verbose)
            std::fputs(text.constData(), stderr);
    }
    return readSoFar;
}

void startApplication(QProcess &app, const Options &options, const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home); // its own instance lock and log
    app.setProcessEnvironment(environment);
    app.setStandardOutputFile(QProcess::nullDevice());
    app.setReadChannel(QProcess::StandardError);
    app.start(options.program, options.arguments);
    if (!app.waitForStarted(10000))
        fail(QStringLiteral("%1 did not start: %2").arg(options.program, app.errorString()));
}

Figures measureIdle(QProcess &app, const Options &options, int devices)
{
    const ProcessUsage before = ProcessUsage::of(app.processId());
    QElapsedTimer clock;
    clock.start();
    listen(app, options.seconds * 1000, options, 0);
    const ProcessUsage after = ProcessUsage::of(app.processId());
    const double seconds = clock.elapsed() / 1000.0;
    if (!before.isValid() || !after.isValid())
        fail(QStringLiteral("the application ended while it was measured (%1 devices)").arg(devices));
    return Figures{100.0 * after.cpuSecondsSince(before) / seconds, after.switchesSince(before) / seconds};
}

Figures run(const Options &options, int devices)
{
    QTemporaryDir home;
    QTemporaryDir noDevices;
    BenchSimulator simulator(QStringLiteral(TAMO_DEVSIM_PATH));
    QString error;
    if (devices == 0)
        qputenv("TAMO_SIM_DIR", QFile::encodeName(noDevices.path()));
    else if (!simulator.start(devices, {}, &error))
        fail(error);

    QProcess app;
    startApplication(app, options, home.path());
    int readSoFar = 0;
    QElapsedTimer waiting;
    waiting.start();
    while (readSoFar < devices && waiting.elapsed() < 180000 && app.state() == QProcess::Running)
        readSoFar = listen(app, 500, options, readSoFar);
    if (readSoFar < devices)
        fail(QStringLiteral("%1 of %2 devices were read").arg(readSoFar).arg(devices));
    listen(app, options.settleSeconds * 1000, options, 0);

    const Figures figures = measureIdle(app, options, devices);
    app.terminate();
    if (!app.waitForFinished(10000))
        app.kill();
    return figures;
}

Options parse(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the CPU time and wake-ups of the application's "
                                                    "device side while nothing happens, with 0, 1 and 20 "
                                                    "simulated devices."));
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Measure for S seconds (60)."),
                                     QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption settle(QStringLiteral("settle"),
                                    QStringLiteral("Wait S seconds after the devices were read (5)."),
                                    QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption program(QStringLiteral("app"),
                                     QStringLiteral("Measure PROGRAM instead of the headless device side."),
                                     QStringLiteral("PROGRAM"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Show what the application logs."));
    parser.addOptions({seconds, settle, program, verbose});
    parser.process(app);

    Options options;
    options.seconds = qMax(1, parser.value(seconds).toInt());
    options.settleSeconds = qMax(0, parser.value(settle).toInt());
    options.verbose = parser.isSet(verbose);
    options.program = parser.isSet(program) ? parser.value(program) : QCoreApplication::applicationFilePath();
    if (!parser.isSet(program))
        options.arguments = QStringList{QStringLiteral("--host")};
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--host") == 0)
        return IdleHost::run(argc, argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-idle"));
    const Options options = parse(app);
    say(QStringLiteral("measuring %1, %2 s per run; load average %3")
            .arg(options.program)
            .arg(options.seconds)
            .arg(loadAverage()));
    QHash<int, Figures> results;
    for (int devices : options.deviceCounts) {
        results.insert(devices, run(options, devices));
        say(QStringLiteral("devices=%1 cpu_pct=%2 wakeups_per_s=%3")
                .arg(devices)
                .arg(results.value(devices).cpuPercent, 0, 'f', 3)
                .arg(results.value(devices).wakeupsPerSecond, 0, 'f', 1));
    }
    say(QStringLiteral("load average %1").arg(loadAverage()));
    say(QStringLiteral("idle_cpu_pct_0=%1 idle_cpu_pct_20=%2 wakeups_per_s=%3")
            .arg(results.value(0).cpuPercent, 0, 'f', 3)
            .arg(results.value(20).cpuPercent, 0, 'f', 3)
            .arg(results.value(20).wakeupsPerSecond, 0, 'f', 1));
    return 0;
}
