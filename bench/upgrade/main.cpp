// tamo-bench-upgrade: what upgrading a full hub costs, one device at a time or
// several side by side.
//
// A firmware file is written to 1 and to 20 simulated devices through
// `tamo-cli upgrade`, with the firmware tool stand-in (tamo-dfu-util) taking
// a flash time per 2048-byte block (--chunk-delay-ms), at the product's timings
// by default: the whole run an operator waits for, from discovery and reading
// the devices to every device back with its new firmware. The number of
// devices flashed at once is tamo-cli's MaxParallelUpgrades (--parallel, default
// the product's). Every run must end with exit code 0 and every device
// reporting the new firmware. Runs alternate between the sizes; medians of the
// repeats; the last line is
//    ratio20=R one_device_s=A parallel=P
// R: the 20-device time over the 1-device time; A: the 1-device time in
// seconds; P: devices flashed at once. The per-run lines also give the time
// from the upgrade's start to the last device's result (the flashing alone).
#include "BenchReport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using namespace BenchReport;

namespace {

constexpr int kLarge = 20;
const QString kVersion = QStringLiteral("1.6.9");

struct Options {
    QString scale;
    int chunkDelayMs = 0;
    int parallel = 0;
};

struct Run {
    double seconds = 0;
    double flashingSeconds = 0;
};

void stopDevices(QProcess &devices)
{
    if (devices.state() == QProcess::NotRunning)
        return;
    devices.write("quit\n");
    devices.closeWriteChannel();
    if (!devices.waitForFinished(10000)) {
        devices.kill();
        devices.waitForFinished(5000);
    }
}

void startDevices(QProcess &devices, const QString &hub, int count)
{
    devices.setStandardErrorFile(QProcess::nullDevice());
    devices.start(QStringLiteral(TAMO_DEVSIM_BIN), {"--dir", hub, "--count", QString::number(count)});
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    while (!said.contains("ready ") && clock.elapsed() < 20000 && devices.waitForReadyRead(1000))
        said += devices.readAllStandardOutput();
    if (!said.contains("ready "))
        fail(QStringLiteral("tamo-devsim did not get ready: %1").arg(QString::fromLocal8Bit(said)));
}

QString makeFirmware(const QString &folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("firmware.dfu"));
    QProcess make;
    make.start(QStringLiteral(TAMO_DEVSIM_BIN), {"make-firmware", "--fw", kVersion, "--out", path});
    if (!make.waitForFinished(30000) || make.exitCode() != 0)
        fail(QStringLiteral("tamo-devsim make-firmware failed: %1").arg(QString::fromLocal8Bit(make.readAllStandardError())));
    return path;
}

Run upgrade(const QString &work, const QString &firmware, int count, const Options &options)
{
    QTemporaryDir hub(QDir(work).filePath(QStringLiteral("hub-XXXXXX")));
    QTemporaryDir home(QDir(work).filePath(QStringLiteral("home-XXXXXX")));
    QProcess devices;
    startDevices(devices, hub.path(), count);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAMO_SIM_DIR"), hub.path());
    env.insert(QStringLiteral("TAMO_DFU_UTIL"), QStringLiteral(TAMO_DFUSIM_BIN));
    env.insert(QStringLiteral("TAMO_DFUSIM_CHUNK_DELAY_MS"), QString::number(options.chunkDelayMs));
    env.insert(QStringLiteral("TAMO_TIMING_SCALE"), options.scale);
    if (options.parallel > 0)
        env.insert(QStringLiteral("TAMO_MAX_PARALLEL_UPGRADES"), QString::number(options.parallel));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.setStandardErrorFile(QDir(work).filePath(QStringLiteral("tamo-cli-%1.log").arg(count)));
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(TAMO_CLI_BIN), {"upgrade", firmware, "--json", "--timeout", "7200"});
    if (!cli.waitForStarted(10000))
        fail(QStringLiteral("tamo-cli did not start"));

    // The events as they come, with the time each arrived.
    qint64 flashingFrom = -1;
    qint64 lastResult = -1;
    QByteArray pending;
    QStringList lines;
    int back = 0;
    const auto read = [&] {
        pending += cli.readAllStandardOutput();
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            lines << QString::fromUtf8(line);
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            const QString name = event.value(QStringLiteral("event")).toString();
            if (name == QLatin1String("overall") && flashingFrom < 0)
                flashingFrom = clock.elapsed();
            if (name == QLatin1String("upgraded") || name == QLatin1String("failed"))
                lastResult = clock.elapsed();
            if (name == QLatin1String("firmware") && event.value(QStringLiteral("detail")).toString() == kVersion)
                ++back;
        }
    };
    while (!cli.waitForFinished(50))
        read();
    Run run;
    run.seconds = clock.elapsed() / 1000.0;
    read();
    stopDevices(devices);
    if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0 || back != count)
        fail(QStringLiteral("tamo-cli upgrade of %1 device(s) exited with %2, %3 back with %4:\n%5")
                 .arg(count).arg(cli.exitCode()).arg(back).arg(kVersion, lines.join(QLatin1Char('\n'))));
    run.flashingSeconds = (lastResult - flashingFrom) / 1000.0;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-upgrade"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Upgrades 1 and 20 simulated devices through tamo-cli upgrade and the firmware tool stand-in\n"
        "and prints: ratio20=R one_device_s=A parallel=P"));
    parser.addHelpOption();
    parser.addOptions({{"repeats", "Runs of each size (default 1).", "N", "1"},
                       {"chunk-delay-ms", "The stand-in's flash time per 2048-byte block (default 150).", "MS", "150"},
                       {"parallel", "Devices flashed at once (default: the product's, 8).", "P", "8"},
                       {"timing-scale", "TAMO_TIMING_SCALE of tamo-cli (default 1: the product's timings, "
                                        "its 10 s start delay and the console's waits included).",
                        "FACTOR", "1"}});
    parser.process(app);
    const int repeats = qMax(1, parser.value("repeats").toInt());
    Options options;
    options.scale = parser.value("timing-scale");
    options.chunkDelayMs = qMax(0, parser.value("chunk-delay-ms").toInt());
    options.parallel = qMax(1, parser.value("parallel").toInt());

    QTemporaryDir work;
    if (!work.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString firmware = makeFirmware(work.path());

    QVector<double> single, many;
    for (int i = 0; i < repeats; ++i) {
        const Run small = upgrade(work.path(), firmware, 1, options);
        const Run large = upgrade(work.path(), firmware, kLarge, options);
        say(QStringLiteral("run %1: 1 device %2 s (flashing %3 s), %4 devices %5 s (flashing %6 s); "
                           "%7 at once, %8 ms a block; load %9")
                .arg(i + 1)
                .arg(small.seconds, 0, 'f', 1)
                .arg(small.flashingSeconds, 0, 'f', 1)
                .arg(kLarge)
                .arg(large.seconds, 0, 'f', 1)
                .arg(large.flashingSeconds, 0, 'f', 1)
                .arg(options.parallel)
                .arg(options.chunkDelayMs)
                .arg(loadAverage()));
        single << small.seconds;
        many << large.seconds;
    }
    say(QStringLiteral("ratio20=%1 one_device_s=%2 parallel=%3")
            .arg(median(many) / median(single), 0, 'f', 2)
            .arg(median(single), 0, 'f', 1)
            .arg(options.parallel));
    return 0;
}
