#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <csignal>

// What a tool printed by the time it ended; exitCode -1 when it crashed or hung.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (killed after timeoutMs), with `set` added to this
// process's environment ("NAME=value"; "NAME=" removes the variable).
ToolRun runTool(const QString &program, const QStringList &arguments, const QStringList &set = {},
                int timeoutMs = 30000);

// Ends a child that may still run: SIGTERM, then SIGKILL when it does not end in 5 s.
void endChild(QProcess &process);

// Whether an error output holds a sanitizer report.
bool sanitizerSpoke(const QByteArray &errors);

// A simulator as a child process: its standard output read line by line, control
// lines written to its standard input, stopped by a signal.
class SimProcess
{
public:
    explicit SimProcess(const QString &program);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the program and waits for a first line that starts with `prefix`.
    bool start(const QStringList &arguments, const QString &prefix, QString *line = nullptr, int timeoutMs = 15000);
    // Waits for the next unread line that starts with the prefix.
    bool waitForLine(const QString &prefix, int timeoutMs = 5000, QString *line = nullptr);
    // Writes one control line and returns the reply ("ok ..." or "error ..."), or "".
    QString command(const QString &line, int timeoutMs = 5000);
    // Signals the process, waits for it; its exit code, or -1 when it did not end normally.
    int stop(int signalNumber = SIGTERM);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QByteArray errors();
    // Every line of standard output so far.
    const QStringList &lines() const { return m_lines; }
    QProcess &process() { return m_process; }

private:
    void collect();
    // The first line from `from` on that starts with one of the prefixes.
    bool find(int *from, const QStringList &prefixes, int timeoutMs, QString *line);

    QProcess m_process;
    QStringList m_lines;
    int m_nextEvent = 0;
    int m_nextReply = 0;
    QByteArray m_partial;
    QByteArray m_stderr;
};
