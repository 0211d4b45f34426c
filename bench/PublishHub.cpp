#include "PublishHub.h"

#include "BenchReport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using BenchReport::fail;

const QStringList PublishHub::CampaignItems{"5101", "5102", "5103", "5104", "5105",
                                            "5106", "5107", "5108", "5109", "6201"};

namespace {

const QString kEmail = QStringLiteral("demo.manager@tamo.example");
const QString kPassword = QStringLiteral("TamoDemo-2024");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

// A field of /proc/PID/status in kB, as MiB; -1 when the process is gone.
double statusMb(qint64 pid, const QString &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression pattern(field + QStringLiteral(":\\s+(\\d+) kB"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

int entries(const QString &folder)
{
    const QDir dir(folder);
    return dir.exists() ? int(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size()) : -1;
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

// Terminates a child, killing it when it does not end within 10 s.
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

} // namespace

QString PublishHub::macOf(int index)
{
    return QStringLiteral("c4:4f:33:0a:0b:%1").arg(index, 2, 16, QLatin1Char('0'));
}

QString PublishHub::serialOf(int index)
{
    return QStringLiteral("TAMOSIM%1").arg(index, 4, 10, QLatin1Char('0'));
}

double PublishHub::peakRssMb(qint64 pid)
{
    return statusMb(pid, QStringLiteral("VmHWM"));
}

double PublishHub::rssMb(qint64 pid)
{
    return statusMb(pid, QStringLiteral("VmRSS"));
}

int PublishHub::openFds(qint64 pid)
{
    return entries(QStringLiteral("/proc/%1/fd").arg(pid));
}

int PublishHub::threads(qint64 pid)
{
    return entries(QStringLiteral("/proc/%1/task").arg(pid));
}

PublishHub::PublishHub()
    : m_hub(m_work.filePath(QStringLiteral("hub-XXXXXX")))
    , m_home(m_work.filePath(QStringLiteral("home-XXXXXX")))
{
    if (!m_work.isValid())
        fail(QStringLiteral("no temporary folder"));
    makeCertificate(m_work.path());
    writeFile(m_work.filePath(QStringLiteral("password")), kPassword.toUtf8() + '\n');
}

PublishHub::~PublishHub()
{
    stopSimulators();
}

QString PublishHub::workPath() const
{
    return m_work.path();
}

// The demo's account, contents and first campaign, for `count` devices.
QString PublishHub::writeFixture(int count) const
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
    const QString path = m_work.filePath(QStringLiteral("fixture-%1.json").arg(count));
    writeFile(path, QJsonDocument(fixture).toJson());
    return path;
}

void PublishHub::startCloud(const QString &fixture, const QStringList &extra)
{
    m_cloud.start(QStringLiteral(TAMO_CLOUDSIM_BIN),
                  QStringList{"--port", "0", "--quiet", "--fixture", fixture, "--files", QStringLiteral(TAMO_DEMO_FILES),
                              "--tls-cert", m_work.filePath("cloud.crt"), "--tls-key", m_work.filePath("cloud.key")}
                      + extra);
    m_apiUrl = lineStarting(m_cloud, QStringLiteral("https://"), QStringLiteral("tamo-cloudsim"));
}

void PublishHub::startDevices(const QString &fixture, const QStringList &extra)
{
    m_devices.start(QStringLiteral(TAMO_DEVSIM_BIN), QStringList{QStringLiteral("--dir"), m_hub.path(), QStringLiteral("--devices"), fixture} + extra);
    lineStarting(m_devices, QStringLiteral("ready "), QStringLiteral("tamo-devsim"));
}

void PublishHub::control(const QString &command)
{
    m_devices.write(command.toUtf8() + '\n');
    m_devices.readAllStandardOutput(); // its answers are not needed; they must not pile up
}

void PublishHub::stopSimulators()
{
    stop(m_devices);
    stop(m_cloud);
}

QString PublishHub::hubPath() const
{
    return m_hub.path();
}

QProcessEnvironment PublishHub::cliEnvironment(const QString &timingScale) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAMO_SIM_DIR"), m_hub.path());
    env.insert(QStringLiteral("TAMO_API_URL"), m_apiUrl);
    env.insert(QStringLiteral("TAMO_CA_CERTS"), m_work.filePath("cloud.crt"));
    env.insert(QStringLiteral("TAMO_TIMING_SCALE"), timingScale);
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + "/data");
    return env;
}

QStringList PublishHub::publishArguments(const QStringList &options) const
{
    return QStringList{"publish", "--email", kEmail, "--password-file", m_work.filePath("password")} + options;
}

QStringList PublishHub::missingItems(int index) const
{
    QFile file(QDir(m_hub.path()).filePath(serialOf(index) + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return CampaignItems;
    QStringList held;
    for (const QJsonValue &item : QJsonDocument::fromJson(file.readAll()).object().value("items").toArray())
        if (item.toObject().value("complete").toBool())
            held << item.toObject().value("id").toString();
    QStringList missing;
    for (const QString &id : CampaignItems)
        if (!held.contains(id))
            missing << id;
    return missing;
}
