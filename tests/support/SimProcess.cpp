#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

ToolRun runTool(const QString &program, const QStringList &arguments, const QStringList &set, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &assignment : set) {
        const QString name = assignment.section(QLatin1Char('='), 0, 0);
        const QString value = assignment.section(QLatin1Char('='), 1);
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
    }
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.closeWriteChannel();
    ToolRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool sanitizerSpoke(const QByteArray &errors)
{
    return errors.contains("Sanitizer") || errors.contains("runtime error:");
}

SimProcess::SimProcess(const QString &program)
{
    m_process.setProgram(program);
}

SimProcess::~SimProcess()
{
    if (isRunning())
        stop(SIGTERM);
}

bool SimProcess::start(const QStringList &arguments, const QString &prefix, QString *line, int timeoutMs)
{
    m_process.setArguments(arguments);
    m_process.start();
    return m_process.waitForStarted(5000) && waitForLine(prefix, timeoutMs, line);
}

void SimProcess::collect()
{
    m_stderr += m_process.readAllStandardError();
    m_partial += m_process.readAllStandardOutput();
    for (int end; (end = m_partial.indexOf('\n')) >= 0; m_partial.remove(0, end + 1))
        m_lines << QString::fromUtf8(m_partial.left(end));
}

bool SimProcess::find(int *from, const QStringList &prefixes, int timeoutMs, QString *line)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        collect();
        for (; *from < m_lines.size(); ++*from) {
            for (const QString &prefix : prefixes) {
                if (m_lines.at(*from).startsWith(prefix)) {
                    if (line)
                        *line = m_lines.at(*from);
                    ++*from;
                    return true;
                }
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !isRunning())
            return false;
        // Events are served while waiting: the code under test may share this thread.
        QCoreApplication::processEvents();
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(left, 10)));
    }
}

bool SimProcess::waitForLine(const QString &prefix, int timeoutMs, QString *line)
{
    return find(&m_nextEvent, {prefix}, timeoutMs, line);
}

QString SimProcess::command(const QString &text, int timeoutMs)
{
    m_process.write(text.toUtf8() + '\n');
    m_process.waitForBytesWritten(timeoutMs);
    QString reply;
    find(&m_nextReply, {QStringLiteral("ok "), QStringLiteral("error ")}, timeoutMs, &reply);
    return reply;
}

void endChild(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

int SimProcess::stop(int signalNumber)
{
    if (isRunning()) {
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
            return -1;
        }
    }
    collect();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QByteArray SimProcess::errors()
{
    collect();
    return m_stderr;
}
