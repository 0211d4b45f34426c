// tamo-bench-ui: what the window costs, on a virtual X server of its own.
//
//  A  startup: from the start of the process to the first paint of the login
//     page, median of --repeats starts;
//  B  idle: the CPU the logged-in window uses over --seconds with 20 simulated
//     devices attached, once every device holds its campaign (after --settle s);
//  C  stall: the longest time the GUI thread was kept from its event loop while
//     the 20 devices were published, from the click on Login (time spent
//     waiting for a processor while other programs ran taken out).
// The window runs in a child process (this program with --probe, the
// application's controller as main() builds it). The last line is
//    startup_ms=A idle_cpu_pct=B gui_stall_ms=C
#include "BenchCloud.h"
#include "BenchReport.h"
#include "ProcessUsage.h"
#include "WindowProbe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

using namespace BenchCloud;
using namespace BenchReport;

namespace {

constexpr int kDevices = 20;

// Xvfb picks a free display and names it on the descriptor given.
QString startDisplay(QProcess &xvfb)
{
    xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    return QLatin1Char(':') + lineStarting(xvfb, QString(), QStringLiteral("Xvfb"));
}

void startWindow(QProcess &window, const QProcessEnvironment &env, const QStringList &arguments)
{
    window.setProcessEnvironment(env);
    window.setStandardErrorFile(QProcess::nullDevice());
    window.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--probe")} + arguments);
    if (!window.waitForStarted(10000))
        fail(QStringLiteral("the window did not start"));
}

// The monotonic clock in ms, as the child's QElapsedTimer reads it.
qint64 monotonicMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

double startupMs(const QProcessEnvironment &env)
{
    QProcess window;
    const qint64 started = monotonicMs();
    startWindow(window, env, {});
    const qint64 painted = lineStarting(window, QStringLiteral("painted "), QStringLiteral("the window"))
                               .section(QLatin1Char(' '), 1)
                               .toLongLong();
    stop(window);
    return double(painted - started);
}

struct Logged {
    double idleCpuPct = 0;
    int idleConnections = -1; // opened by the window while it was measured idle
    int idleHandshakes = -1;
    double ownStallMs = 0;
    double stallMs = 0;
};

Logged loggedIn(const QString &work, QProcessEnvironment env, int seconds, int settle)
{
    makeCertificate(work);
    const QString fixture = writeFixture(work, kDevices);
    QFile password(work + QStringLiteral("/password"));
    if (!password.open(QIODevice::WriteOnly) || password.write("TamoDemo-2024\n") <= 0)
        fail(QStringLiteral("cannot write %1").arg(password.fileName()));
    password.close();
    QTemporaryDir hub(work + QStringLiteral("/hub-XXXXXX"));
    QProcess cloud;
    QProcess devices;
    env.insert(QStringLiteral("TAMO_API_URL"), startCloud(cloud, work, fixture));
    env.insert(QStringLiteral("TAMO_CA_CERTS"), work + QStringLiteral("/cloud.crt"));
    startDevices(devices, hub.path(), fixture);
    env.insert(QStringLiteral("TAMO_SIM_DIR"), hub.path());

    QProcess window;
    startWindow(window, env, {"demo.manager@tamo.example", password.fileName(), QString::number(kDevices)});
    QString line;
    QByteArray out;
    QDeadlineTimer deadline(600000);
    while (!line.startsWith(QLatin1String("published"))) {
        if (deadline.hasExpired() || window.state() != QProcess::Running)
            fail(QStringLiteral("the window did not publish to %1 devices").arg(kDevices));
        window.waitForReadyRead(1000);
        out += window.readAllStandardOutput();
        const int end = out.indexOf('\n');
        if (end >= 0) {
            line = QString::fromUtf8(out.left(end));
            out.remove(0, end + 1);
        }
    }
    checkDevices(hub.path(), kDevices);
    Logged figures;
    figures.ownStallMs = line.section(QStringLiteral("own_stall_ms="), 1).section(QLatin1Char(' '), 0, 0).toDouble();
    figures.stallMs = line.section(QStringLiteral(" stall_ms="), 1).toDouble();

    QThread::sleep(settle);
    const Connections opened = connectionsOf(env.value(QStringLiteral("TAMO_API_URL")), work);
    const ProcessUsage before = ProcessUsage::of(window.processId());
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(seconds);
    const ProcessUsage after = ProcessUsage::of(window.processId());
    const Connections closing = connectionsOf(env.value(QStringLiteral("TAMO_API_URL")), work);
    // Less the first reading's own connection.
    figures.idleConnections = closing.accepted - opened.accepted - 1;
    figures.idleHandshakes = closing.tlsHandshakes - opened.tlsHandshakes - 1;
    if (!before.isValid() || !after.isValid())
        fail(QStringLiteral("the window ended while it was measured"));
    figures.idleCpuPct = 100.0 * after.cpuSecondsSince(before) / (clock.elapsed() / 1000.0);
    stop(window);
    stop(devices);
    stop(cloud);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--probe") == 0)
        return WindowProbe::run(argc, argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-ui"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the window's start, its idle cost with 20 simulated devices and its longest stall\n"
        "while publishing to them, on a virtual X server; prints: startup_ms=A idle_cpu_pct=B gui_stall_ms=C"));
    parser.addHelpOption();
    parser.addOptions({{"repeats", "Starts measured for the startup figure (default 5).", "N", "5"},
                       {"seconds", "Seconds the idle window is measured (default 60).", "S", "60"},
                       {"settle", "Seconds waited after publishing before that (default 5).", "S", "5"}});
    parser.process(app);

    QTemporaryDir work;
    if (!work.isValid())
        fail(QStringLiteral("no temporary folder"));
    QProcess xvfb;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), startDisplay(xvfb));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), work.path()); // its own instance lock and settings
    env.remove(QStringLiteral("TAMO_TIMING_SCALE"));

    QVector<double> starts;
    for (int i = 0; i < qMax(1, parser.value("repeats").toInt()); ++i)
        starts << startupMs(env);
    QStringList runs;
    for (double ms : starts)
        runs << QString::number(ms, 'f', 0);
    say(QStringLiteral("startup runs: %1 ms (load %2)").arg(runs.join(QStringLiteral(", ")), loadAverage()));
    const Logged logged = loggedIn(work.path(), env, qMax(1, parser.value("seconds").toInt()),
                                   qMax(0, parser.value("settle").toInt()));
    say(QStringLiteral("publishing to %1 devices: longest stall %2 ms (%3 ms counting waits for a processor); "
                       "load %4")
            .arg(kDevices)
            .arg(logged.ownStallMs)
            .arg(logged.stallMs)
            .arg(loadAverage()));
    say(QStringLiteral("idle over %1 s: %2 connections, %3 TLS handshakes")
            .arg(parser.value("seconds"))
            .arg(logged.idleConnections)
            .arg(logged.idleHandshakes));
    stop(xvfb);
    say(QStringLiteral("startup_ms=%1 idle_cpu_pct=%2 gui_stall_ms=%3")
            .arg(median(starts), 0, 'f', 0)
            .arg(logged.idleCpuPct, 0, 'f', 2)
            .arg(logged.ownStallMs, 0, 'f', 0));
    return 0;
}
