#include "DevSim.h"

#include "PortEnumerator.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

DevSim::DevSim()
    : m_sim(QStringLiteral(TAMO_DEVSIM_PATH))
{
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
    const QStringList all = QStringList{QStringLiteral("--dir"), m_dir.path(), QStringLiteral("--count"),
                                        QString::number(count)} + arguments;
    if (!m_sim.start(all, QStringLiteral("ready "), nullptr, 10000))
        return false;
    for (int i = 1; i <= count; ++i)
        if (portOf(QStringLiteral("TAMOSIM%1").arg(i, 4, 10, QLatin1Char('0'))).isEmpty())
            return false;
    return true;
}

void DevSim::stop()
{
    if (!m_sim.isRunning())
        return;
    m_sim.process().write("quit\n");
    m_sim.process().closeWriteChannel();
    if (!m_sim.process().waitForFinished(5000))
        m_sim.stop(SIGKILL);
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
    return m_sim.command(line, 10000);
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
    control(QStringLiteral("status"));
    const QRegularExpression pattern(QStringLiteral("^status %1 .* requests=(\\d+)").arg(serial));
    for (int i = m_sim.lines().size() - 1; i >= 0; --i) {
        const QRegularExpressionMatch match = pattern.match(m_sim.lines().at(i));
        if (match.hasMatch())
            return match.captured(1).toInt();
    }
    return -1;
}

QString DevSim::makeFirmware(const QString &version, const QString &path, int size)
{
    const ToolRun run = runTool(QStringLiteral(TAMO_DEVSIM_PATH), {QStringLiteral("make-firmware"), QStringLiteral("--fw"),
                                version, QStringLiteral("--out"), path, QStringLiteral("--size"), QString::number(size)});
    return run.exitCode == 0 ? path : QString();
}
