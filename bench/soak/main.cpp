// tamo-bench-soak: does publishing hold for hours while devices come and go?
//
// `tamo-cli publish --watch` runs against the cloud simulator (HTTPS, latency,
// a share of the campaign, device and file requests answered 503) and N
// simulated devices (default 20) that are unplugged and replugged at random
// every few seconds, some of them in the middle of an upload. Timings are
// shrunk so that an hour of operation passes in ten minutes (the default run).
// Then the churn stops, every device is plugged in, and each must reach an
// honest final state: uploaded or up to date while really holding its campaign,
// or failed with a reason. Then every device is unplugged and tamo-cli's threads
// and open descriptors must come back to what they were before the first
// device; last, tamo-cli must end cleanly on SIGTERM without a sanitizer report.
// The last line is
//    crashes=C rss_growth_mb=G fds_leaked=F threads_leaked=T dishonest=D
// G: tamo-cli's resident memory at the end of the churn over that after the
// warm-up (the first quarter), medians of the samples of a tenth of the run.
// With --check the exit code is 1 unless C, F, T and D are 0 and G is at most
// --rss-target-mb (5).
#include "BenchCloud.h"
#include "BenchReport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>

using namespace BenchCloud;
using namespace BenchReport;

namespace {

// The demo hub with its simulators, and the folders tamo-cli runs in.
struct Rig {
    QTemporaryDir work;
    QTemporaryDir hub{work.filePath(QStringLiteral("hub-XXXXXX"))};
    QTemporaryDir home{work.filePath(QStringLiteral("home-XXXXXX"))};
    QProcess cloud;
    QProcess devices;
    QString apiUrl;

    ~Rig()
    {
        stop(devices);
        stop(cloud);
    }
    // A control command to the device simulator; its answers are dropped, so
    // that they never fill the pipe.
    void control(const QString &command)
    {
        if (!command.isEmpty())
            devices.write(command.toUtf8() + '\n');
        devices.readAllStandardOutput();
    }
};

// A field of /proc/PID/status in kB, as MiB; -1 when the process is gone.
double statusMb(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression pattern(QLatin1String(field) + QStringLiteral(":\\s+(\\d+) kB"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

int entries(const QString &folder)
{
    const QDir dir(folder);
    return dir.exists() ? int(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size()) : -1;
}

struct Settings {
    int seconds = 600;
    int devices = 20;
    QString timingScale = QStringLiteral("0.1667");
    int churnMs = 3000;
    int cloudLatencyMs = 40;
    int cloudFailPercent = 5;
    double rssTargetMb = 5;
};

struct Sample {
    qint64 atMs;
    double rssMb;
};

// Figures of the process at one moment.
struct Usage {
    int fds = -1;
    int threads = -1;
};

Usage usageOf(const QProcess &process)
{
    return Usage{entries(QStringLiteral("/proc/%1/fd").arg(process.processId())),
                 entries(QStringLiteral("/proc/%1/task").arg(process.processId()))};
}

// Lets the children's output be read while the benchmark waits.
void pause(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
}

void requireRunning(const QProcess &process, const QString &what)
{
    if (process.state() != QProcess::Running)
        fail(QStringLiteral("%1 ended during the run").arg(what));
}

// Waits until tamo-cli has sent its sign-in request, within a bound.
void awaitSignIn(const QProcess &cli, const QString &errPath)
{
    QDeadlineTimer deadline(30000);
    QFile err(errPath);
    while (!deadline.hasExpired() && cli.state() == QProcess::Running) {
        pause(250);
        if (err.open(QIODevice::ReadOnly) && err.readAll().contains("Cloud request POST")) // signin/, the first
            return;
        err.close();
    }
    fail(QStringLiteral("tamo-cli sent no sign-in request"));
}

// Waits until the usage has not changed for three seconds, within a bound; the
// last usage read.
Usage settledUsage(const QProcess &cli, int boundMs, const Usage &target = Usage())
{
    QDeadlineTimer deadline(boundMs);
    Usage last = usageOf(cli);
    QElapsedTimer unchanged;
    unchanged.start();
    while (!deadline.hasExpired() && cli.state() == QProcess::Running) {
        pause(250);
        const Usage now = usageOf(cli);
        if (target.fds >= 0 && now.fds <= target.fds && now.threads <= target.threads)
            return now;
        if (now.fds != last.fds || now.threads != last.threads)
            unchanged.restart();
        else if (target.fds < 0 && unchanged.elapsed() >= 3000)
            return now;
        last = now;
    }
    return last;
}

double medianRss(const QVector<Sample> &samples, qint64 fromMs, qint64 toMs)
{
    QVector<double> values;
    for (const Sample &sample : samples)
        if (sample.atMs >= fromMs && sample.atMs <= toMs)
            values << sample.rssMb;
    return values.isEmpty() ? 0 : median(values);
}

// The final outcome lines tamo-cli printed from `offset` on, per MAC: the last one.
QHash<QString, QStringList> lastOutcomes(const QString &outPath, qint64 offset)
{
    QFile out(outPath);
    QHash<QString, QStringList> outcomes;
    if (!out.open(QIODevice::ReadOnly) || !out.seek(offset))
        return outcomes;
    for (const QByteArray &line : out.readAll().split('\n')) {
        const QStringList columns = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (columns.size() >= 2
            && (columns.at(1) == QLatin1String("uploaded") || columns.at(1) == QLatin1String("up to date")
                || columns.at(1) == QLatin1String("failed")))
            outcomes.insert(columns.at(0), columns.mid(1));
    }
    return outcomes;
}

// Why device `index` did not end honestly; empty when it did.
QString dishonesty(const Rig &rig, int index, const QStringList &outcome)
{
    if (outcome.isEmpty())
        return QStringLiteral("no final state");
    if (outcome.first() == QLatin1String("failed"))
        return outcome.value(1).trimmed().isEmpty() ? QStringLiteral("failed without a reason") : QString();
    const QStringList missing = missingItems(rig.hub.path(), index);
    return missing.isEmpty() ? QString()
                             : QStringLiteral("says '%1' but lacks %2").arg(outcome.first(), missing.join(','));
}

// The last `count` lines of a file that name one of `needles`: what a device that
// ended dishonestly went through, printed beside the verdict.
QStringList linesAbout(const QString &path, const QStringList &needles, int count)
{
    QFile file(path);
    QStringList found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        for (const QString &needle : needles)
            if (line.contains(needle, Qt::CaseInsensitive)) {
                found << line;
                break;
            }
    }
    return found.mid(qMax(0, found.size() - count));
}

// One random device leaves the bus: now for a while, or at the Nth upload part
// from now (the device simulator brings it back after --replug-after-ms).
void churnOnce(Rig &rig, int devices, int *unplugs)
{
    QRandomGenerator *random = QRandomGenerator::global();
    const QString serial = serialOf(1 + random->bounded(devices));
    if (random->bounded(3) == 0)
        rig.control(QStringLiteral("fault %1 unplug-after-parts %2").arg(serial).arg(1 + random->bounded(40)));
    else
        rig.control(QStringLiteral("unplug %1 %2").arg(serial).arg(300 + random->bounded(2700)));
    ++*unplugs;
}

Settings parse(QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs tamo-cli publish --watch against simulated devices that come and go and a cloud that\n"
        "is slow and sometimes fails, then prints:\n"
        "crashes=C rss_growth_mb=G fds_leaked=F threads_leaked=T dishonest=D"));
    parser.addHelpOption();
    const Settings defaults;
    parser.addOptions({{"seconds", "Length of the churn (default 600).", "S", QString::number(defaults.seconds)},
                       {"devices", "Simulated devices, 1 to 20 (default 20).", "N", QString::number(defaults.devices)},
                       {"timing-scale", "TAMO_TIMING_SCALE of tamo-cli (default 0.1667: an hour in ten minutes).",
                        "FACTOR", defaults.timingScale},
                       {"churn-ms", "Mean time between two unplugs (default 3000).", "MS",
                        QString::number(defaults.churnMs)},
                       {"cloud-latency-ms", "Delay of every cloud answer (default 40).", "MS",
                        QString::number(defaults.cloudLatencyMs)},
                       {"cloud-fail-percent", "Share of campaign, device and file requests answered 503 (default 5).",
                        "P", QString::number(defaults.cloudFailPercent)},
                       {"rss-target-mb", "Target of the memory growth (default 5).", "MB", "5"},
                       {"check", "Exit code 1 when a figure misses its target."}});
    parser.process(app);
    Settings settings;
    settings.seconds = qMax(20, parser.value("seconds").toInt());
    settings.devices = qBound(1, parser.value("devices").toInt(), 20);
    settings.timingScale = parser.value("timing-scale");
    settings.churnMs = qMax(100, parser.value("churn-ms").toInt());
    settings.cloudLatencyMs = qMax(0, parser.value("cloud-latency-ms").toInt());
    settings.cloudFailPercent = qBound(0, parser.value("cloud-fail-percent").toInt(), 99);
    settings.rssTargetMb = parser.value("rss-target-mb").toDouble();
    return settings;
}

QStringList cloudFaults(int percent)
{
    QStringList faults;
    if (percent > 0)
        for (const char *path : {"account/*", "tamo_device*", "scheduled_event/*", "files/*"})
            faults << "--fail" << QStringLiteral("%1%%2=503").arg(QLatin1String(path)).arg(percent);
    return faults;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-soak"));
    const Settings settings = parse(app);
    const bool check = app.arguments().contains(QStringLiteral("--check"));
    const double scale = settings.timingScale.toDouble();
    if (scale <= 0)
        fail(QStringLiteral("--timing-scale must be a positive number"));

    Rig rig;
    if (!rig.work.isValid() || !rig.hub.isValid() || !rig.home.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString work = rig.work.path();
    makeCertificate(work);
    QFile password(work + QStringLiteral("/password"));
    if (!password.open(QIODevice::WriteOnly) || password.write("TamoDemo-2024\n") <= 0)
        fail(QStringLiteral("cannot write %1").arg(password.fileName()));
    password.close();
    // tamo-cli refuses a password file that others may read.
    password.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString fixture = writeFixture(work, settings.devices);
    // The cloud closes idle connections after 2 s, so that the ones tamo-cli
    // keeps alive for reuse are closed by the time its descriptors are counted.
    rig.apiUrl = startCloud(rig.cloud, work, fixture,
                            QStringList{"--latency-ms", QString::number(settings.cloudLatencyMs), "--keep-alive", "2"}
                                + cloudFaults(settings.cloudFailPercent));
    const QString outPath = work + "/cli.out";
    const QString errPath = work + "/cli.err";
    const QString logPath = work + "/cli.log";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAMO_SIM_DIR"), rig.hub.path());
    env.insert(QStringLiteral("TAMO_API_URL"), rig.apiUrl);
    env.insert(QStringLiteral("TAMO_CA_CERTS"), work + "/cloud.crt");
    env.insert(QStringLiteral("TAMO_TIMING_SCALE"), settings.timingScale);
    env.insert(QStringLiteral("HOME"), rig.home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), rig.home.path() + "/data");
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.setStandardOutputFile(outPath);
    cli.setStandardErrorFile(errPath);
    cli.start(QStringLiteral(TAMO_CLI_BIN), {"publish", "--email", "demo.manager@tamo.example", "--password-file",
                                             password.fileName(), "--watch", "--log", logPath});
    if (!cli.waitForStarted(10000))
        fail(QStringLiteral("tamo-cli did not start"));

    // Logged in and watching an empty hub: what the devices must leave behind.
    awaitSignIn(cli, errPath);
    const Usage start = settledUsage(cli, 20000);
    requireRunning(cli, QStringLiteral("tamo-cli"));
    say(QStringLiteral("before the devices: %1 descriptors, %2 threads").arg(start.fds).arg(start.threads));

    startDevices(rig.devices, rig.hub.path(), fixture, {"--replug-after-ms", "1500"});
    QVector<Sample> samples;
    int unplugs = 0;
    const qint64 churnMs = qint64(settings.seconds) * 1000;
    const qint64 warmUpMs = churnMs / 4;
    qint64 logAtWarmUp = -1;
    QElapsedTimer clock;
    clock.start();
    qint64 nextChurn = settings.churnMs;
    while (clock.elapsed() < churnMs && cli.state() == QProcess::Running) {
        pause(250);
        requireRunning(rig.devices, QStringLiteral("tamo-devsim"));
        requireRunning(rig.cloud, QStringLiteral("tamo-cloudsim"));
        const double rss = statusMb(cli.processId(), "VmRSS");
        if (rss >= 0)
            samples << Sample{clock.elapsed(), rss};
        if (logAtWarmUp < 0 && clock.elapsed() >= warmUpMs)
            logAtWarmUp = QFileInfo(logPath).size();
        if (clock.elapsed() >= nextChurn) {
            churnOnce(rig, settings.devices, &unplugs);
            nextChurn = clock.elapsed() + settings.churnMs / 2 + QRandomGenerator::global()->bounded(settings.churnMs);
        }
        rig.control(QString()); // reads what the simulator said
    }
    const double churnedSeconds = clock.elapsed() / 1000.0;
    const qint64 logAtEnd = QFileInfo(logPath).size();
    const double rssGrowth = medianRss(samples, churnMs - churnMs / 10, churnMs)
        - medianRss(samples, warmUpMs, warmUpMs + churnMs / 10);

    // Calm: every device back, then each must come to a final state again.
    rig.control(QStringLiteral("fault all clear"));
    rig.control(QStringLiteral("plug all"));
    pause(2000);
    const qint64 calmFrom = QFileInfo(outPath).size();
    const int watchPeriodMs = int(30000 * scale);
    QDeadlineTimer calm(qMax(60000, 6 * watchPeriodMs));
    QHash<QString, QStringList> outcomes;
    while (!calm.hasExpired() && cli.state() == QProcess::Running) {
        pause(500);
        outcomes = lastOutcomes(outPath, calmFrom);
        if (outcomes.size() >= settings.devices)
            break;
    }
    // One more watch period: a device still on its way is not judged mid-pass.
    pause(watchPeriodMs);
    outcomes = lastOutcomes(outPath, calmFrom);
    int dishonest = 0;
    for (int i = 1; i <= settings.devices; ++i) {
        const QString why = dishonesty(rig, i, outcomes.value(macOf(i)));
        if (!why.isEmpty()) {
            ++dishonest;
            say(QStringLiteral("%1: %2").arg(macOf(i), why));
            const QStringList about{macOf(i), serialOf(i)};
            for (const QString &line : linesAbout(outPath, about, 10) + linesAbout(logPath, about, 60))
                say(QStringLiteral("  ") + line);
        }
    }

    rig.control(QStringLiteral("unplug all"));
    // Qt's pool threads expire after 30 s of idleness.
    const Usage end = settledUsage(cli, 45000, start);
    const int fdsLeaked = qMax(0, end.fds - start.fds);
    const int threadsLeaked = qMax(0, end.threads - start.threads);

    const double peakMb = statusMb(cli.processId(), "VmHWM");
    cli.terminate();
    if (!cli.waitForFinished(30000))
        cli.kill();
    cli.waitForFinished(5000);
    stop(rig.devices);
    stop(rig.cloud);
    QFile errors(errPath);
    errors.open(QIODevice::ReadOnly);
    const QByteArray err = errors.readAll();
    const bool sanitizerReport = err.contains("ERROR: AddressSanitizer") || err.contains("ERROR: LeakSanitizer")
        || err.contains("runtime error:");
    const int crashes =
        (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0 || sanitizerReport) ? 1 : 0;
    if (crashes)
        say(QStringLiteral("tamo-cli ended with %1 (%2); its last words:\n%3")
                .arg(cli.exitCode())
                .arg(cli.exitStatus() == QProcess::NormalExit ? "normal exit" : "crashed")
                .arg(QString::fromUtf8(err.right(4000))));

    QFile out(outPath);
    out.open(QIODevice::ReadOnly);
    const QByteArray printed = out.readAll();
    const double hours = churnedSeconds / scale / 3600.0;
    const double logPerHourMb =
        logAtWarmUp < 0 ? 0 : (logAtEnd - logAtWarmUp) / (1024.0 * 1024.0) / (hours * 0.75);
    say(QStringLiteral("%1 s of churn (%2 h of operation at timing scale %3), %4 unplugs, load %5")
            .arg(churnedSeconds, 0, 'f', 0)
            .arg(hours, 0, 'f', 2)
            .arg(settings.timingScale)
            .arg(unplugs)
            .arg(loadAverage()));
    say(QStringLiteral("outcomes printed: %1 uploaded, %2 up to date, %3 failed")
            .arg(printed.count("\tuploaded\t"))
            .arg(printed.count("\tup to date"))
            .arg(printed.count("\tfailed\t")));
    say(QStringLiteral("after the devices: %1 descriptors, %2 threads; peak resident memory %3 MiB; "
                       "log growth %4 MiB per hour of operation")
            .arg(end.fds)
            .arg(end.threads)
            .arg(peakMb, 0, 'f', 1)
            .arg(logPerHourMb, 0, 'f', 2));
    say(QStringLiteral("crashes=%1 rss_growth_mb=%2 fds_leaked=%3 threads_leaked=%4 dishonest=%5")
            .arg(crashes)
            .arg(rssGrowth, 0, 'f', 1)
            .arg(fdsLeaked)
            .arg(threadsLeaked)
            .arg(dishonest));
    const bool met = crashes == 0 && fdsLeaked == 0 && threadsLeaked == 0 && dishonest == 0 && rssGrowth <= settings.rssTargetMb;
    return check && !met ? 1 : 0;
}
