#include "DevsimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>

#include <csignal>

DevsimProcess::DevsimProcess()
{
    m_process.setProgram(program());
}

DevsimProcess::~DevsimProcess()
{
    if (isRunning())
        stop(SIGTERM);
}

QString DevsimProcess::program()
{
    return QStringLiteral(TAMO_DEVSIM_BIN);
}

bool DevsimProcess::start(const QString &folder, const QStringList &arguments)
{
    m_folder = folder;
    m_process.setArguments(QStringList{QStringLiteral("--dir"), folder} + arguments);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    return waitForLine(QStringLiteral("ready "), 10000);
}

void DevsimProcess::collect()
{
    m_stderr += m_process.readAllStandardError();
    m_partial += m_process.readAllStandardOutput();
    int end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}

bool DevsimProcess::waitForLine(const QString &prefix, int timeoutMs, QString *line)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        collect();
        for (; m_next < m_lines.size(); ++m_next) {
            if (m_lines.at(m_next).startsWith(prefix)) {
                if (line)
                    *line = m_lines.at(m_next);
                ++m_next;
                return true;
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(left, 100)));
    }
}

QString DevsimProcess::command(const QString &text, int timeoutMs)
{
    m_process.write(text.toUtf8() + '\n');
    m_process.waitForBytesWritten(timeoutMs);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        collect();
        for (; m_nextReply < m_lines.size(); ++m_nextReply) {
            const QString &line = m_lines.at(m_nextReply);
            if (line.startsWith(QLatin1String("ok ")) || line.startsWith(QLatin1String("error "))) {
                ++m_nextReply;
                return line;
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || m_process.state() == QProcess::NotRunning)
            return QString();
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(left, 100)));
    }
}

int DevsimProcess::stop(int signalNumber)
{
    if (!isRunning())
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return -1;
    }
    collect();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QJsonObject DevsimProcess::portFile(const QString &serial) const
{
    QFile file(QDir(m_folder).filePath(serial + QStringLiteral(".port")));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

QString DevsimProcess::portOf(const QString &serial) const
{
    return portFile(serial).value(QStringLiteral("port")).toString();
}

QJsonObject DevsimProcess::snapshot(const QString &serial) const
{
    QFile file(QDir(m_folder).filePath(serial + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}
