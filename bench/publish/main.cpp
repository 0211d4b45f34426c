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

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

using namespace BenchReport;

namespace {

const QString kEmail = QStringLiteral("demo.manager@tamo.example");
const QString kPassword = QStringLiteral("TamoDemo-2024");
const QStringList kCampaignItems{"5101", "5102", "5103", "5104", "5105", "5106", "5107", "5108", "5109", "6201"};

struct Run {
    double seconds = 0;
    double peakRssMb = 0;
    double stallMs = 0;
    double wallStallMs = 0;
};

QString macOf(int index)
{
    return QStringLiteral("c4:4f:33:0a:0b:%1").arg(index, 2, 16, QLatin1Char('0'));
}

QString serialOf(int index)
{
    return QStringLiteral("TAMOSIM%1").arg(index, 4, 10, QLatin1Char('0'));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

// The demo's account, contents and first campaign, for `count` devices.
QString writeFixture(const QString &folder, int count)
{
    QFile demo(QStringLiteral(TAMO_DEMO_FIXTURE));
    if (!demo.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read the demo fixture %1").arg(demo.fileName()));
    QJsonObject fixture = QJsonDocument::fromJson(demo.readAll()).object();
    const QJsonObject firstEvent = fixture.value(QStringLiteral("events")).toArray().first().toObject();
    QJsonArray devices;
    QJsonArray events;
    for (int i = 1; i <= count; ++i) {
        devices.append(QJsonObject{{"mac", macOf(i)}, {"activated", true}, {"name", QStringLiteral("TAMO %1").arg(i)},
                                   {"serialNumber", serialOf(i)}, {"firmwareRevision", "1.5.90"},
                                   {"hardwareRevision", "PL-7"}, {"brightness", 80}, {"userId", 7}});
        QJsonObject event = firstEvent;
        event.insert(QStringLiteral("id"), 1000 + i);
        event.insert(QStringLiteral("mac"), macOf(i));
        events.append(event);
    }
    fixture.insert(QStringLiteral("devices"), devices);
    fixture.insert(QStringLiteral("events"), events);
    const QString path = QDir(folder).filePath(QStringLiteral("fixture-%1.json").arg(count));
    writeFile(path, QJsonDocument(fixture).toJson());
    return path;
}

void makeCertificate(const QString &folder)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                   "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout",
                   folder + "/cloud.key", "-out", folder + "/cloud.crt"});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        fail(QStringLiteral("openssl could not make a certificate: %1")
                 .arg(QString::fromLocal8Bit(openssl.readAllStandardError())));
}

// The first line a child prints that starts with the prefix, within a bound.
QString lineStarting(QProcess &process, const QString &prefix, const QString &what)
{
    QByteArray out;
    QDeadlineTimer deadline(20000);
    for (;;) {
        int end;
        while ((end = out.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(out.left(end)).trimmed();
            out.remove(0, end + 1);
            if (line.startsWith(prefix))
                return line;
        }
        if (deadline.hasExpired() || !process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            fail(QStringLiteral("%1 did not start: %2").arg(what, QString::fromLocal8Bit(process.readAllStandardError())));
        out += process.readAllStandardOutput();
    }
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

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

void checkDevices(const QString &hub, int count)
{
    for (int i = 1; i <= count; ++i) {
        QFile file(QDir(hub).filePath(serialOf(i) + QStringLiteral(".json")));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("no state of %1").arg(serialOf(i)));
        QStringList held;
        for (const QJsonValue &item : QJsonDocument::fromJson(file.readAll()).object().value("items").toArray())
            if (item.toObject().value("complete").toBool())
                held << item.toObject().value("id").toString();
        for (const QString &id : kCampaignItems)
            if (!held.contains(id))
                fail(QStringLiteral("%1 does not hold %2 (it holds %3)").arg(serialOf(i), id, held.join(',')));
    }
}

Run publish(const QString &work, const QString &fixture, int count, const QString &scale)
{
    QTemporaryDir hub(QDir(work).filePath(QStringLiteral("hub-XXXXXX")));
    QTemporaryDir home(QDir(work).filePath(QStringLiteral("home-XXXXXX")));
    QProcess cloud;
    cloud.start(QStringLiteral(TAMO_CLOUDSIM_BIN),
                {"--port", "0", "--quiet", "--fixture", fixture, "--files", QStringLiteral(TAMO_DEMO_FILES),
                 "--tls-cert", work + "/cloud.crt", "--tls-key", work + "/cloud.key"});
    const QString apiUrl = lineStarting(cloud, QStringLiteral("https://"), QStringLiteral("tamo-cloudsim"));
    QProcess devices;
    devices.start(QStringLiteral(TAMO_DEVSIM_BIN),
                  {"--dir", hub.path(), "--devices", fixture, "--latency-ms", "2"});
    lineStarting(devices, QStringLiteral("ready "), QStringLiteral("tamo-devsim"));

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
        "and prints: ratio20=R peak_rss_mb=M gui_stall_ms=S"));
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
    writeFile(work.filePath(QStringLiteral("password")), kPassword.toUtf8() + '\n');
    const QString one = writeFixture(work.path(), 1);
    const QString twenty = writeFixture(work.path(), 20);

    QVector<double> single, many, stalls;
    double peak = 0;
    for (int i = 0; i < repeats; ++i) {
        const Run small = publish(work.path(), one, 1, scale);
        const Run large = publish(work.path(), twenty, 20, scale);
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
