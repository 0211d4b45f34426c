#include "DevSim.h"

#include "PortEnumerator.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

DevSim::DevSim()
{
    m_process.setProgram(QStringLiteral(TAMO_DEVSIM_PATH));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &DevSim::collect);
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { m_stderr += m_process.readAllStandardError(); });
}

DevSim::~DevSim()
{
    stop();
}

bool DevSim::start(const QStringList &arguments, int count)
{
    if (!m_dir.isValid())
        return false;
    qputenv("TAMO_SIM_DIR", m_dir.path().toLocal8Bit());
    m_process.setArguments(QStringList{QStringLiteral("--dir"), m_dir.path(),
                                       QStringLiteral("--count"), QString::number(count)}
                           + arguments);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    if (!waitForLine(QStringLiteral("ready "), 10000))
        return false;
    for (int i = 1; i <= count; ++i) {
        const QString serial = QStringLiteral("TAMOSIM%1").arg(i, 4, 10, QLatin1Char('0'));
        if (portOf(serial).isEmpty())
            return false;
    }
    return true;
}

void DevSim::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QString DevSim::folder() const
{
    return m_dir.path();
}

QString DevSim::portOf(const QString &serial)
{
    const QVector<SerialPortFacts> ports = PortEnumerator::availablePorts();
    for (const SerialPortFacts &port : ports)
        if (port.serialNumber == serial)
            return port.portName;
    return QString();
}

QString DevSim::control(const QString &line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0);
    m_process.write(line.toUtf8() + '\n');
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        collect();
        while (m_consumed < m_lines.size()) {
            const QString next = m_lines.at(m_consumed++);
            if (next.startsWith(QLatin1String("ok ") + command)
                || next.startsWith(QLatin1String("error")))
                return next;
        }
        QTest::qWait(5);
    }
    return QString();
}

QJsonObject DevSim::snapshot(const QString &serial) const
{
    QFile file(QDir(m_dir.path()).filePath(serial + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

QJsonObject DevSim::item(const QString &id, const QString &serial) const
{
    const QJsonArray items = snapshot(serial).value(QStringLiteral("items")).toArray();
    for (const QJsonValue &value : items)
        if (value.toObject().value(QStringLiteral("id")).toString() == id)
            return value.toObject();
    return QJsonObject();
}

int DevSim::requestCount(const QString &serial)
{
    // "status" answers with one line per device before its "ok status".
    m_consumed = m_lines.size();
    control(QStringLiteral("status"));
    const QRegularExpression pattern(QStringLiteral("^status %1 .* requests=(\\d+)").arg(serial));
    for (int i = m_lines.size() - 1; i >= 0; --i) {
        const QRegularExpressionMatch match = pattern.match(m_lines.at(i));
        if (match.hasMatch())
            return match.captured(1).toInt();
    }
    return -1;
}

QString DevSim::makeFirmware(const QString &version, const QString &path, int size)
{
    QProcess make;
    make.start(QStringLiteral(TAMO_DEVSIM_PATH),
               {QStringLiteral("make-firmware"), QStringLiteral("--fw"), version, QStringLiteral("--out"), path,
                QStringLiteral("--size"), QString::number(size)});
    return make.waitForFinished(10000) && make.exitCode() == 0 ? path : QString();
}

QString DevSim::output() const
{
    return m_lines.join(QLatin1Char('\n'));
}

QString DevSim::errors() const
{
    return QString::fromLocal8Bit(m_stderr);
}

bool DevSim::waitForLine(const QString &prefix, int timeoutMs, QString *line)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        collect();
        while (m_consumed < m_lines.size()) {
            const QString next = m_lines.at(m_consumed++);
            if (next.startsWith(prefix)) {
                if (line)
                    *line = next;
                return true;
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(5);
    }
    return false;
}

void DevSim::collect()
{
    m_partial += m_process.readAllStandardOutput();
    int newline;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partial.left(newline)).trimmed();
        m_partial.remove(0, newline + 1);
    }
}
