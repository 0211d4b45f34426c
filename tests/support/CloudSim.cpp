#include "CloudSim.h"

#include "SimProcess.h"

#include "NetworkManager.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTimer>

#ifndef TAMO_CLOUDSIM_BIN
#error "TAMO_CLOUDSIM_BIN must name the simulator"
#endif

CloudSim::CloudSim(const QJsonObject &fixture, const QStringList &extraArgs, const QMap<QString, QByteArray> &files)
{
    if (!m_dir.isValid()) {
        m_failure = QStringLiteral("no temporary folder");
        return;
    }
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const QString path = m_dir.filePath(QStringLiteral("files/") + it.key());
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size()) {
            m_failure = QStringLiteral("cannot write ") + path;
            return;
        }
    }
    QDir().mkpath(m_dir.filePath(QStringLiteral("files")));
    const QString fixturePath = m_dir.filePath(QStringLiteral("fixture.json"));
    QFile f(fixturePath);
    if (!f.open(QIODevice::WriteOnly)) {
        m_failure = QStringLiteral("cannot write the fixture");
        return;
    }
    f.write(QJsonDocument(fixture).toJson());
    f.close();

    QStringList args{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                     QStringLiteral("--fixture"), fixturePath, QStringLiteral("--files"),
                     m_dir.filePath(QStringLiteral("files"))};
    args += extraArgs;
    m_process.start(QStringLiteral(TAMO_CLOUDSIM_BIN), args);
    if (!m_process.waitForStarted(10000)) {
        m_failure = QStringLiteral("simulator did not start: ") + m_process.errorString();
        return;
    }
    QByteArray out;
    while (!out.contains('\n')) {
        if (!m_process.waitForReadyRead(10000)) {
            m_failure = QStringLiteral("no base URL from the simulator: ")
                + QString::fromLocal8Bit(m_process.readAllStandardError());
            return;
        }
        out += m_process.readAllStandardOutput();
    }
    m_baseUrl = QString::fromUtf8(out.left(out.indexOf('\n'))).trimmed();
}

CloudSim::~CloudSim()
{
    endChild(m_process);
}

QString CloudSim::rootUrl() const
{
    QString root = m_baseUrl;
    root.chop(QStringLiteral("api/v1/").size());
    return root;
}

void CloudSim::useForClient() const
{
    qputenv("TAMO_API_URL", m_baseUrl.toUtf8());
}

QJsonObject CloudSim::record() const
{
    return read(QStringLiteral("_sim/record"));
}

QJsonObject CloudSim::read(const QString &path) const
{
    QNetworkAccessManager manager;
    // Straight to the simulator, whatever proxy a test gave the client.
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(rootUrl() + path));
    if (!m_caPath.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setCaCertificates(QSslCertificate::fromPath(m_caPath));
        request.setSslConfiguration(ssl);
    }
    QNetworkReply *reply = manager.get(request);
    ++m_recordReads;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->isFinished() ? reply->readAll() : QByteArray();
    delete reply;
    return QJsonDocument::fromJson(body).object();
}

CloudSim::Connections CloudSim::connections() const
{
    const QJsonObject counts = read(QStringLiteral("_sim/connections"));
    Connections result;
    if (counts.isEmpty())
        return result;
    result.accepted = counts.value(QStringLiteral("accepted")).toInt() - m_recordReads;
    if (counts.contains(QStringLiteral("tlsHandshakes")))
        result.tlsHandshakes = counts.value(QStringLiteral("tlsHandshakes")).toInt() - m_recordReads;
    return result;
}

QJsonArray CloudSim::requests(const QString &path) const
{
    const QJsonArray all = record().value(QStringLiteral("record")).toObject().value(QStringLiteral("requests")).toArray();
    if (path.isEmpty())
        return all;
    QJsonArray matching;
    for (const QJsonValue &entry : all) {
        if (entry.toObject().value(QStringLiteral("path")).toString() == path)
            matching.append(entry);
    }
    return matching;
}

QJsonArray CloudSim::actions(const QString &name) const
{
    return record().value(QStringLiteral("record")).toObject().value(name).toArray();
}

QJsonObject CloudSim::operatorUser()
{
    return QJsonObject{{"id", 7}, {"email", "op@acme.test"}, {"password", "Op-Pass-1"}, {"role", "company_manager"}};
}

CloudSession::CloudSession() = default;
CloudSession::~CloudSession() = default;

bool CloudSession::start(const QJsonObject &fixture, const QStringList &extraArgs,
                         const QMap<QString, QByteArray> &files)
{
    reset();
    m_sim = std::make_unique<CloudSim>(fixture, extraArgs, files);
    if (!m_sim->isRunning()) {
        qWarning() << m_sim->failure();
        return false;
    }
    m_sim->useForClient();
    m_net = std::make_unique<NetworkManager>();
    return true;
}

bool CloudSession::login(const QString &email, const QString &password)
{
    QSignalSpy logined(m_net.get(), &NetworkManager::logined);
    m_net->login(email, password);
    return logined.wait(10000) && logined.at(0).at(0).toBool();
}

void CloudSession::reset()
{
    m_net.reset();
    m_sim.reset();
}
