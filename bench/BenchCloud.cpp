#include "BenchCloud.h"

#include "BenchReport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using BenchReport::fail;

namespace BenchCloud {

QString macOf(int index)
{
    return QStringLiteral("c4:4f:33:0a:0b:%1").arg(index, 2, 16, QLatin1Char('0'));
}

QString serialOf(int index)
{
    return QStringLiteral("TAMOSIM%1").arg(index, 4, 10, QLatin1Char('0'));
}

QStringList campaignItems()
{
    return {"5101", "5102", "5103", "5104", "5105", "5106", "5107", "5108", "5109", "6201"};
}

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

} // namespace

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

QString startCloud(QProcess &cloud, const QString &folder, const QString &fixture, const QStringList &extra)
{
    cloud.start(QStringLiteral(TAMO_CLOUDSIM_BIN),
                QStringList{"--port", "0", "--quiet", "--fixture", fixture, "--files", QStringLiteral(TAMO_DEMO_FILES),
                            "--tls-cert", folder + "/cloud.crt", "--tls-key", folder + "/cloud.key"}
                    + extra);
    return lineStarting(cloud, QStringLiteral("https://"), QStringLiteral("tamo-cloudsim"));
}

Connections connectionsOf(const QString &apiUrl, const QString &folder)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QString root = apiUrl;
    root.chop(QStringLiteral("api/v1/").size());
    QNetworkRequest request(QUrl(root + QStringLiteral("_sim/connections")));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(folder + QStringLiteral("/cloud.crt")));
    request.setSslConfiguration(tls);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonObject counts = QJsonDocument::fromJson(reply->isFinished() ? reply->readAll() : QByteArray()).object();
    delete reply;
    Connections result;
    if (counts.isEmpty())
        return result;
    result.accepted = counts.value(QStringLiteral("accepted")).toInt() - 1;
    result.tlsHandshakes = counts.value(QStringLiteral("tlsHandshakes")).toInt(0) - 1;
    return result;
}

void startDevices(QProcess &devices, const QString &hub, const QString &fixture, const QStringList &extra)
{
    devices.start(QStringLiteral(TAMO_DEVSIM_BIN),
                  QStringList{"--dir", hub, "--devices", fixture, "--latency-ms", "2"} + extra);
    lineStarting(devices, QStringLiteral("ready "), QStringLiteral("tamo-devsim"));
}

QStringList missingItems(const QString &hub, int index)
{
    QFile file(QDir(hub).filePath(serialOf(index) + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return campaignItems();
    QStringList held;
    for (const QJsonValue &item : QJsonDocument::fromJson(file.readAll()).object().value("items").toArray())
        if (item.toObject().value("complete").toBool())
            held << item.toObject().value("id").toString();
    QStringList missing;
    for (const QString &id : campaignItems())
        if (!held.contains(id))
            missing << id;
    return missing;
}

void checkDevices(const QString &hub, int count)
{
    for (int i = 1; i <= count; ++i) {
        const QStringList missing = missingItems(hub, i);
        if (!missing.isEmpty())
            fail(QStringLiteral("%1 does not hold %2").arg(serialOf(i), missing.join(',')));
    }
}

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

} // namespace BenchCloud
