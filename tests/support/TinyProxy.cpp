#include "TinyProxy.h"

#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

TinyProxy::TinyProxy(const QString &user, const QString &password)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"),
                                                           {QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin")});
    if (program.isEmpty()) {
        m_failure = QStringLiteral("tinyproxy is not installed (scripts/setup.sh installs it)");
        return;
    }
    // The port is chosen here and taken by tinyproxy a moment later; another
    // program taking it in between makes tinyproxy end, which is seen below.
    const quint16 port = freePort();
    QFile config(m_dir.filePath(QStringLiteral("tinyproxy.conf")));
    if (port == 0 || !config.open(QIODevice::WriteOnly)) {
        m_failure = QStringLiteral("no port or no configuration file for tinyproxy");
        return;
    }
    config.write(QStringLiteral("Port %1\n"
                                "Listen 127.0.0.1\n"
                                "Allow 127.0.0.1\n"
                                "Timeout 30\n"
                                "MaxClients 50\n"
                                "LogLevel Connect\n"
                                "BasicAuth %2 %3\n")
                     .arg(port)
                     .arg(user, password)
                     .toUtf8());
    config.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // -d: in the foreground, logging to its output.
    m_process.start(program, {QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
    if (!m_process.waitForStarted(10000)) {
        m_failure = QStringLiteral("tinyproxy did not start: ") + m_process.errorString();
        return;
    }
    // Ready once it accepts a connection.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(1000)) {
            m_port = port;
            return;
        }
        m_process.waitForFinished(50); // lets it get on; returns at once if it ended
    }
    m_failure = QStringLiteral("tinyproxy did not listen on %1: %2").arg(port).arg(log());
}

TinyProxy::~TinyProxy()
{
    endChild(m_process);
}

QString TinyProxy::address(const QString &user, const QString &password) const
{
    const QString credentials = user.isEmpty() ? QString() : user + QLatin1Char(':') + password + QLatin1Char('@');
    return QStringLiteral("http://") + credentials + QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QString TinyProxy::log()
{
    m_log += QString::fromLocal8Bit(m_process.readAll());
    return m_log;
}

QString TinyProxy::localLoopbackName(QString *address)
{
    const QString name = QHostInfo::localHostName();
    if (name.isEmpty() || name.startsWith(QLatin1String("localhost"), Qt::CaseInsensitive))
        return QString();
    for (const QHostAddress &found : QHostInfo::fromName(name).addresses()) {
        if (found.protocol() == QAbstractSocket::IPv4Protocol && found.isLoopback()) {
            *address = found.toString();
            return name;
        }
    }
    return QString();
}
