// tamo-bench-publish: what publishing costs as the hub fills up.
//
// The demo's first campaign is published through `tamo-cli publish` to 1 and to
// 20 simulated devices (2 ms link latency), each run against its own cloud
// simulator (HTTPS, a fixture this benchmark writes: the demo's account and
// contents, and N devices each with that campaign) and its own device
// simulator. Every run must end with exit code 0, one "uploaded" line per
// device, and every device holding the campaign. Runs alternate, medians of the
// repeats; the last line is
//    ratio20=R peak_rss_mb=M gui_stall_ms=S handshakes_per_device=H
// R: the 20-device time over the 1-device time; M: tamo-cli's peak resident
// memory (the largest of all runs); S: the longest event-loop stall of the
// thread that runs the chef during a 20-device run (median of those runs); H:
// the TLS handshakes the cloud simulator did for a 20-device run (login
// included), per device (median of those runs).
#include "BenchCloud.h"
#include "BenchReport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace BenchCloud;
using namespace BenchReport;

namespace {

const QString kEmail = QStringLiteral("demo.manager@tamo.example");
const QString kPassword = QStringLiteral("TamoDemo-2024");
struct Run {
    double seconds = 0;
    double peakRssMb = 0;
    double stallMs = 0;
    double wallStallMs = 0;
    int handshakes = -1;
    int connections = -1;
};

// The peak resident memory of a running process so far (VmHWM), in MiB.
double peakRssMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression pattern(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : 0;
}

Run publish(const QString &work, const QString &fixture, int count, const QString &scale)
{
    QTemporaryDir hub(QDir(work).filePath(QStringLiteral("hub-XXXXXX")));
    QTemporaryDir home(QDir(work).filePath(QStringLiteral("home-XXXXXX")));
    QProcess cloud;
    const QString apiUrl = startCloud(cloud, work, fixture);
    QProcess devices;
    startDevices(devices, hub.path(), fixture);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAMO_SIM_DIR"), hub.path());
    env.insert(QStringLiteral("TAMO_API_URL"), apiUrl);
    env.insert(QStringLiteral("TAMO_CA_CERTS"), work + "/cloud.crt");
    env.insert(QStringLiteral("TAMO_TIMING_SCALE"), scale);
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + "/data");
    QProcess cli;
    cli.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(TAMO_CLI_BIN),
              {"publish", "--email", kEmail, "--password-file", work + "/password", "--report-stalls", "--timeout", "600"});
    if (!cli.waitForStarted(10000))
        fail(QStringLiteral("tamo-cli did not start"));
    Run run;
    while (!cli.waitForFinished(20))
        run.peakRssMb = qMax(run.peakRssMb, peakRssMb(cli.processId()));
    run.seconds = clock.elapsed() / 1000.0;

    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    const Connections connections = connectionsOf(apiUrl, work);
    run.handshakes = connections.tlsHandshakes;
    run.connections = connections.accepted;
    stop(devices);
    stop(cloud);
    if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0)
        fail(QStringLiteral("tamo-cli publish to %1 device(s) exited with %2:\n%3\n%4")
                 .arg(count).arg(cli.exitCode()).arg(out, err.right(3000)));
    if (out.count(QStringLiteral("\tuploaded\t")) != count)
        fail(QStringLiteral("%1 device(s), but these lines:\n%2").arg(count).arg(out));
    checkDevices(hub.path(), count);
    const QRegularExpressionMatch stall =
        QRegularExpression(QStringLiteral("longest event-loop stall: (\\d+) ms \\((\\d+) ms")).match(err);
    if (!stall.hasMatch())
        fail(QStringLiteral("tamo-cli did not report its event-loop stalls"));
    run.stallMs = stall.captured(1).toDouble();
    run.wallStallMs = stall.captured(2).toDouble();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-publish"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Publishes the demo's first campaign through tamo-cli publish to 1 and to 20 simulated devices\n"
        "and prints: ratio20=R peak_rss_mb=M gui_stall_ms=S handshakes_per_device=H"));
    parser.addHelpOption();
    parser.addOptions({{"repeats", "Runs of each size (default 3).", "N", "3"},
                       {"timing-scale", "TAMO_TIMING_SCALE of tamo-cli (default 1: the product's timings, "
                                        "its 10 s start delay and 1 s discovery period included).",
                        "FACTOR", "1"}});
    parser.process(app);
    const int repeats = qMax(1, parser.value("repeats").toInt());
    const QString scale = parser.value("timing-scale");

    QTemporaryDir work;
    if (!work.isValid())
        fail(QStringLiteral("no temporary folder"));
    makeCertificate(work.path());
    QFile password(work.filePath(QStringLiteral("password")));
    if (!password.open(QIODevice::WriteOnly) || password.write(kPassword.toUtf8() + '\n') <= 0)
        fail(QStringLiteral("cannot write %1").arg(password.fileName()));
    password.close();
    // tamo-cli refuses a password file that others may read.
    password.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString one = writeFixture(work.path(), 1);
    const QString twenty = writeFixture(work.path(), 20);

    QVector<double> single, many, stalls, handshakes;
    double peak = 0;
    for (int i = 0; i < repeats; ++i) {
        const Run small = publish(work.path(), one, 1, scale);
        const Run large = publish(work.path(), twenty, 20, scale);
        say(QStringLiteral("run %1: 1 device %2 s, 20 devices %3 s, peak %4 MiB, stall %5 ms "
                           "(%6 ms counting waits for a processor), 20 devices: %7 connections, %8 TLS handshakes; "
                           "load %9")
                .arg(i + 1)
                .arg(small.seconds, 0, 'f', 2)
                .arg(large.seconds, 0, 'f', 2)
                .arg(qMax(small.peakRssMb, large.peakRssMb), 0, 'f', 1)
                .arg(large.stallMs)
                .arg(large.wallStallMs)
                .arg(large.connections)
                .arg(large.handshakes)
                .arg(loadAverage()));
        handshakes << large.handshakes / 20.0;
        single << small.seconds;
        many << large.seconds;
        stalls << large.stallMs;
        peak = qMax(peak, qMax(small.peakRssMb, large.peakRssMb));
    }
    say(QStringLiteral("ratio20=%1 peak_rss_mb=%2 gui_stall_ms=%3 handshakes_per_device=%4")
            .arg(median(many) / median(single), 0, 'f', 2)
            .arg(peak, 0, 'f', 1)
            .arg(median(stalls), 0, 'f', 0)
            .arg(median(handshakes), 0, 'f', 2));
    return 0;
}
