// tamo-bench-link: what the application's side of the device link costs.
//
// R  One picture to one simulated device without added latency: the runner's
//    wall time over the floor of the same exchanges. The floor is a RawClient
//    (write the frame, read the answer, nothing else) against a MinimalResponder
//    (a child process that answers each whole frame at once with a ready-made
//    answer) on a pseudo-terminal of its own. Floor and runner are measured in
//    turns, so that load from elsewhere falls on both alike.
// C  The same runs: this process's CPU time over the number of exchanges.
// P  The picture to 1 and to 20 devices at once, 2 ms added before every answer:
//    the wall time of 20 over that of 1.
// Every transfer is checked against the simulator's snapshot (SHA-256 of the
// stored bytes) and then deleted again, so that each run meets the same store.
// The raw client is also run against the simulator, to show how much of the
// time is the simulator's own. Medians of the repeats; the last line is
//    ratio=R cpu_us_per_exchange=C parallel20_over_single=P
#include "BenchReport.h"
#include "BenchSimulator.h"
#include "CommandList.h"
#include "ContentIds.h"
#include "MinimalResponder.h"
#include "PictureSource.h"
#include "RawClient.h"
#include "TransferCommandLists.h"
#include "TransferRound.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include <cstdio>

using namespace BenchReport;

namespace {

constexpr int kDevices = 20;
constexpr int kLatencyMs = 2;
constexpr int kRoundTimeoutMs = 120000;
// The runs without latency are short and the most sensitive to other load.
constexpr int kSingleRunsPerRepeat = 3;

bool g_verbose = false;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    // The runner's traces would only measure this terminal; warnings still show.
    if (!g_verbose && (type == QtDebugMsg || type == QtInfoMsg))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

QString ms(double ns)
{
    return QString::number(ns / 1e6, 'f', 2) + QStringLiteral(" ms");
}

QString us(double value)
{
    return QString::number(value, 'f', 1);
}

// The request frames of a command list, exactly as the runner sends them.
QVector<QByteArray> requestFrames(CommandList list)
{
    QVector<QByteArray> frames;
    while (!list.isEmpty())
        frames << list.takeFirst()->request();
    return frames;
}

void checkLanded(const BenchSimulator &sim, int device, const QString &id,
                 const QByteArray &picture)
{
    QString why;
    if (!sim.holdsImage(device, id, picture, &why))
        fail(QStringLiteral("the picture did not land: %1").arg(why));
}

// Deletes what a run stored, outside every measurement.
void forget(const BenchSimulator &sim, int device, const QStringList &ids)
{
    const RawClient::Outcome outcome =
        RawClient::exchange(sim.portOf(device), requestFrames(deleteCommands(ids, {}, {})));
    if (outcome.wallNs < 0 || outcome.rejected > 0)
        fail(QStringLiteral("cleaning up %1 failed: %2")
                 .arg(BenchSimulator::serialOf(device),
                      outcome.error.isEmpty() ? QStringLiteral("a delete was rejected")
                                              : outcome.error));
}

// The runner to the first `count` devices at once, each picture checked.
TransferRound::Outcome runnerRound(const BenchSimulator &sim, PictureSource &pictures, int count)
{
    const QByteArray picture = pictures.nextPicture();
    QStringList ports, ids;
    for (int i = 0; i < count; ++i) {
        ports << sim.portOf(i);
        ids << pictures.nextId();
    }
    const TransferRound::Outcome outcome =
        TransferRound::run(ports, ids, picture, kRoundTimeoutMs);
    if (!outcome.ok)
        fail(QStringLiteral("transfer to %1 device(s) failed: %2").arg(count).arg(outcome.error));
    for (int i = 0; i < count; ++i) {
        checkLanded(sim, i, ids.at(i), picture);
        forget(sim, i, {ids.at(i)});
    }
    return outcome;
}

// The raw client's transfer of a picture to the first device, checked.
RawClient::Outcome rawRound(const BenchSimulator &sim, PictureSource &pictures)
{
    const QString id = pictures.nextId();
    const QByteArray picture = pictures.nextPicture();
    const RawClient::Outcome outcome = RawClient::exchange(
        sim.portOf(0), requestFrames(imageTransferCommands(idToBytes(id), picture)));
    if (outcome.wallNs < 0)
        fail(outcome.error);
    if (outcome.rejected > 0)
        fail(QStringLiteral("the simulator rejected %1 of the raw client's requests")
                 .arg(outcome.rejected));
    checkLanded(sim, 0, id, picture);
    forget(sim, 0, {id});
    return outcome;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-link"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the application's side of the device link against tamo-devsim.\n"
        "Last line: ratio=R cpu_us_per_exchange=C parallel20_over_single=P"));
    parser.addHelpOption();
    const QCommandLineOption repeatsOption(
        QStringLiteral("repeats"),
        QStringLiteral("Runs with latency (default 7); the runs without latency are three "
                       "times as many."),
        QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("Picture size in bytes (default 30000)."),
                                        QStringLiteral("BYTES"), QStringLiteral("30000"));
    const QCommandLineOption devsimOption(
        QStringLiteral("devsim"), QStringLiteral("The simulator program (default: the one built)."),
        QStringLiteral("PATH"), QStringLiteral(TAMO_DEVSIM_PATH));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Show the runner's debug traces."));
    const QCommandLineOption singleOnlyOption(
        QStringLiteral("single-only"),
        QStringLiteral("Only the runs without latency (for profiling); no last line."));
    parser.addOptions({repeatsOption, sizeOption, devsimOption, verboseOption, singleOnlyOption});
    parser.process(app);

    bool ok = false;
    const int repeats = parser.value(repeatsOption).toInt(&ok);
    if (!ok || repeats < 1 || repeats > 1000)
        fail(QStringLiteral("--repeats takes 1 to 1000"));
    const int size = parser.value(sizeOption).toInt(&ok);
    if (!ok || size < 1 || size > 1000000)
        fail(QStringLiteral("--size takes 1 to 1000000"));
    g_verbose = parser.isSet(verboseOption);
    qInstallMessageHandler(messageHandler);
    // As the devices manager does: one pool thread per device.
    QThreadPool::globalInstance()->setMaxThreadCount(kDevices);

    say(QStringLiteral("cores %1, load average %2; a %3-byte picture")
            .arg(QThread::idealThreadCount())
            .arg(loadAverage())
            .arg(size));

    // Forked before any other child or pool thread exists.
    MinimalResponder responder;
    QString error;
    if (!responder.start(&error))
        fail(error);
    PictureSource pictures(size);
    const QVector<QByteArray> floorFrames = requestFrames(
        imageTransferCommands(idToBytes(QStringLiteral("1")), pictures.nextPicture()));
    const double exchanges = floorFrames.size();

    // --- R and C: one device, no added latency ---
    BenchSimulator sim(parser.value(devsimOption));
    if (!sim.start(1, {}, &error))
        fail(error);
    // Warm-up: pool thread, lock files, caches.
    if (RawClient::exchange(responder.portName(), floorFrames).wallNs < 0)
        fail(QStringLiteral("the floor link does not work"));
    runnerRound(sim, pictures, 1);
    rawRound(sim, pictures);

    QVector<double> floors, raws, runners, cpus, floorCpus, responderCpus, simCpus, simRawCpus;
    for (int r = 1; r <= repeats * kSingleRunsPerRepeat; ++r) {
        const qint64 responderBefore = responder.cpuNs();
        const RawClient::Outcome floor = RawClient::exchange(responder.portName(), floorFrames);
        if (floor.wallNs < 0)
            fail(floor.error);
        responderCpus << double(responder.cpuNs() - responderBefore) / 1000.0 / exchanges;
        qint64 simBefore = sim.cpuNs();
        const RawClient::Outcome raw = rawRound(sim, pictures);
        const double simRawCpu = double(sim.cpuNs() - simBefore);
        simBefore = sim.cpuNs();
        const TransferRound::Outcome run = runnerRound(sim, pictures, 1);
        const double simCpu = double(sim.cpuNs() - simBefore);

        floors << double(floor.wallNs);
        raws << double(raw.wallNs);
        runners << double(run.wallNs);
        cpus << double(run.cpuNs) / 1000.0 / run.exchanges;
        floorCpus << double(floor.cpuNs) / 1000.0 / exchanges;
        simCpus << simCpu / 1000.0 / run.exchanges;
        simRawCpus << simRawCpu / 1000.0 / exchanges;
        say(QStringLiteral("no latency, run %1: %2 exchanges; floor %3, raw client with "
                           "simulator %4, runner %5 (x%6); CPU us/exchange: runner %7, "
                           "simulator %8 (raw client %9)")
                .arg(r)
                .arg(run.exchanges)
                .arg(ms(floor.wallNs), ms(raw.wallNs), ms(run.wallNs))
                .arg(double(run.wallNs) / double(floor.wallNs), 0, 'f', 2)
                .arg(us(cpus.last()), us(simCpus.last()), us(floorCpus.last())));
    }
    sim.stop();
    responder.stop();
    const double ratio = median(runners) / median(floors);
    const double cpuPerExchange = median(cpus);
    say(QStringLiteral("no latency, medians in us per exchange: floor %1, raw client with "
                       "simulator %2, runner %3; CPU: runner %4, raw client %5, minimal "
                       "responder %6, simulator %7 (%8 with the raw client)")
            .arg(us(median(floors) / 1000.0 / exchanges), us(median(raws) / 1000.0 / exchanges),
                 us(median(runners) / 1000.0 / exchanges), us(cpuPerExchange),
                 us(median(floorCpus)), us(median(responderCpus)), us(median(simCpus)),
                 us(median(simRawCpus))));
    say(QStringLiteral("no latency: runner over floor x%1, raw client with simulator over floor "
                       "x%2, runner over raw client with simulator x%3")
            .arg(ratio, 0, 'f', 2)
            .arg(median(raws) / median(floors), 0, 'f', 2)
            .arg(median(runners) / median(raws), 0, 'f', 2));
    if (parser.isSet(singleOnlyOption))
        return 0;

    // --- P: 1 and 20 devices at once, 2 ms before every answer ---
    if (!sim.start(kDevices, {QStringLiteral("--latency-ms"), QString::number(kLatencyMs)},
                   &error))
        fail(error);
    runnerRound(sim, pictures, 1);
    runnerRound(sim, pictures, kDevices);
    QVector<double> singles, parallels, parallelCpus, parallelSimCpus;
    for (int r = 1; r <= repeats; ++r) {
        const RawClient::Outcome raw = rawRound(sim, pictures);
        const TransferRound::Outcome one = runnerRound(sim, pictures, 1);
        const qint64 simBefore = sim.cpuNs();
        const TransferRound::Outcome all = runnerRound(sim, pictures, kDevices);
        const double simCpu = double(sim.cpuNs() - simBefore);
        singles << double(one.wallNs);
        parallels << double(all.wallNs);
        parallelCpus << double(all.cpuNs) / 1000.0 / all.exchanges;
        parallelSimCpus << simCpu / 1000.0 / all.exchanges;
        say(QStringLiteral("latency %1 ms, run %2: raw client %3, 1 device %4, %5 devices %6 "
                           "(x%7); CPU us/exchange with %5: runner %8, simulator %9")
                .arg(kLatencyMs)
                .arg(r)
                .arg(ms(raw.wallNs), ms(one.wallNs))
                .arg(kDevices)
                .arg(ms(all.wallNs))
                .arg(double(all.wallNs) / double(one.wallNs), 0, 'f', 2)
                .arg(us(parallelCpus.last()), us(parallelSimCpus.last())));
    }
    sim.stop();
    const double parallel = median(parallels) / median(singles);
    say(QStringLiteral("latency %1 ms, medians: 1 device %2, %3 devices %4; CPU us/exchange "
                       "with %3: runner %5, simulator %6")
            .arg(kLatencyMs)
            .arg(ms(median(singles)))
            .arg(kDevices)
            .arg(ms(median(parallels)), us(median(parallelCpus)), us(median(parallelSimCpus))));

    say(QStringLiteral("load average at the end %1").arg(loadAverage()));
    say(QStringLiteral("ratio=%1 cpu_us_per_exchange=%2 parallel20_over_single=%3")
            .arg(ratio, 0, 'f', 2)
            .arg(cpuPerExchange, 0, 'f', 1)
            .arg(parallel, 0, 'f', 2));
    return 0;
}
