#include "BenchSimulator.h"

#include "PortEnumerator.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

BenchSimulator::BenchSimulator(const QString &program)
    : m_program(program)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // Its traces are of no interest here, and a full pipe must not stall it.
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

BenchSimulator::~BenchSimulator()
{
    stop();
}

QString BenchSimulator::serialOf(int index)
{
    return QStringLiteral("TAMOSIM%1").arg(index + 1, 4, 10, QLatin1Char('0'));
}

bool BenchSimulator::start(int count, const QStringList &arguments, QString *error)
{
    stop();
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    qputenv("TAMO_SIM_DIR", QFile::encodeName(m_dir.path()));
    m_output.clear();
    m_ports.clear();
    m_process.start(m_program, QStringList{QStringLiteral("--dir"), m_dir.path(),
                                           QStringLiteral("--count"), QString::number(count)}
                                   + arguments);
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(m_program, m_process.errorString());
        return false;
    }
    if (!waitForLine(QStringLiteral("ready "), 10000)) {
        *error = QStringLiteral("%1 did not get ready; it said: %2")
                     .arg(m_program, QString::fromLocal8Bit(m_output));
        stop();
        return false;
    }
    const QVector<SerialPortFacts> ports = PortEnumerator::availablePorts();
    for (int i = 0; i < count; ++i) {
        QString port;
        for (const SerialPortFacts &facts : ports)
            if (facts.serialNumber == serialOf(i))
                port = facts.portName;
        if (port.isEmpty()) {
            *error = QStringLiteral("no port is listed for %1").arg(serialOf(i));
            stop();
            return false;
        }
        m_ports.append(port);
    }
    return true;
}

void BenchSimulator::stop()
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

QString BenchSimulator::portOf(int index) const
{
    return m_ports.value(index);
}

bool BenchSimulator::holdsImage(int index, const QString &id, const QByteArray &bytes,
                                QString *why) const
{
    QFile file(QDir(m_dir.path()).filePath(serialOf(index) + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no snapshot of %1").arg(serialOf(index));
        return false;
    }
    const QJsonArray items =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("items")).toArray();
    for (const QJsonValue &value : items) {
        const QJsonObject item = value.toObject();
        if (item.value(QStringLiteral("id")).toString() != id)
            continue;
        const QString expected =
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)
                                    .toHex());
        const QString stored = item.value(QStringLiteral("sha256")).toString();
        if (item.value(QStringLiteral("kind")).toString() != QLatin1String("image")
            || !item.value(QStringLiteral("complete")).toBool() || stored != expected) {
            *why = QStringLiteral("%1 holds item %2 as %3, complete %4, SHA-256 %5; sent %6")
                       .arg(serialOf(index), id, item.value(QStringLiteral("kind")).toString(),
                            item.value(QStringLiteral("complete")).toBool() ? QStringLiteral("yes")
                                                                            : QStringLiteral("no"),
                            stored, expected);
            return false;
        }
        return true;
    }
    *why = QStringLiteral("%1 does not hold item %2").arg(serialOf(index), id);
    return false;
}

qint64 BenchSimulator::cpuNs() const
{
    const qint64 pid = m_process.processId();
    if (pid <= 0)
        return -1;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 total = 0;
    const QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile file(tasks + QLatin1Char('/') + thread + QStringLiteral("/schedstat"));
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        total += file.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

bool BenchSimulator::waitForLine(const QString &prefix, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        m_output += m_process.readAllStandardOutput();
        for (const QByteArray &line : m_output.split('\n'))
            if (line.startsWith(prefix.toLatin1()))
                return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}
