// tamo-bench-publish: what publishing costs as the hub fills up.
//
// The demo's first campaign is published through `tamo-cli publish` to 1 and to
// 20 simulated devices (2 ms link latency), each run against its own cloud
// simulator (HTTPS, a fixture this benchmark writes: the demo's account and
// contents, and N devices each with that campaign) and its own device
// simulator. Every run must end with exit code 0, one "uploaded" line per
// device, and every device holding the campaign. Runs alternate, medians of the
// repeats; the last line is
//    ratio20=R peak_rss_mb=M gui_stall_ms=S
// R: the 20-device time over the 1-device time; M: tamo-cli's peak resident
// memory (the largest of all runs); S: the longest event-loop stall of the
// thread that runs the chef during a 20-device run (median of those runs).
#include "BenchReport.h"
#include "PublishHub.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

using namespace BenchReport;

namespace {

struct Run {
    double seconds = 0;
    double peakRssMb = 0;
    double stallMs = 0;
    double wallStallMs = 0;
};

Run publish(int count, const QString &scale)
{
    PublishHub hub;
    const QString fixture = hub.writeFixture(count);
    hub.startCloud(fixture);
    hub.startDevices(fixture, {"--latency-ms", "2"});
    QProcess cli;
    cli.setProcessEnvironment(hub.cliEnvironment(scale));
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(TAMO_CLI_BIN), hub.publishArguments({"--report-stalls", "--timeout", "600"}));
    if (!cli.waitForStarted(10000))
        fail(QStringLiteral("tamo-cli did not start"));
    Run run;
    while (!cli.waitForFinished(20))
        run.peakRssMb = qMax(run.peakRssMb, PublishHub::peakRssMb(cli.processId()));
    run.seconds = clock.elapsed() / 1000.0;

    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    hub.stopSimulators();
    if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0)
        fail(QStringLiteral("tamo-cli publish to %1 device(s) exited with %2:\n%3\n%4")
                 .arg(count).arg(cli.exitCode()).arg(out, err.right(3000)));
    if (out.count(QStringLiteral("\tuploaded\t")) != count)
        fail(QStringLiteral("%1 device(s), but these lines:\n%2").arg(count).arg(out));
    for (int i = 1; i <= count; ++i)
        if (!hub.missingItems(i).isEmpty())
            fail(QStringLiteral("%1 lacks %2").arg(PublishHub::serialOf(i), hub.missingItems(i).join(',')));
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
        "and prints: ratio20=R peak_rss_mb=M gui_stall_ms=S"));
    parser.addHelpOption();
    parser.addOptions({{"repeats", "Runs of each size (default 3).", "N", "3"},
                       {"timing-scale", "TAMO_TIMING_SCALE of tamo-cli (default 1: the product's timings, "
                                        "its 10 s start delay and 1 s discovery period included).",
                        "FACTOR", "1"}});
    parser.process(app);
    const int repeats = qMax(1, parser.value("repeats").toInt());
    const QString scale = parser.value("timing-scale");

    QVector<double> single, many, stalls;
    double peak = 0;
    for (int i = 0; i < repeats; ++i) {
        const Run small = publish(1, scale);
        const Run large = publish(20, scale);
        say(QStringLiteral("run %1: 1 device %2 s, 20 devices %3 s, peak %4 MiB, stall %5 ms "
                           "(%6 ms counting waits for a processor; load %7)")
                .arg(i + 1)
                .arg(small.seconds, 0, 'f', 2)
                .arg(large.seconds, 0, 'f', 2)
                .arg(qMax(small.peakRssMb, large.peakRssMb), 0, 'f', 1)
                .arg(large.stallMs)
                .arg(large.wallStallMs)
                .arg(loadAverage()));
        single << small.seconds;
        many << large.seconds;
        stalls << large.stallMs;
        peak = qMax(peak, qMax(small.peakRssMb, large.peakRssMb));
    }
    say(QStringLiteral("ratio20=%1 peak_rss_mb=%2 gui_stall_ms=%3")
            .arg(median(many) / median(single), 0, 'f', 2)
            .arg(peak, 0, 'f', 1)
            .arg(median(stalls), 0, 'f', 0));
    return 0;
}
