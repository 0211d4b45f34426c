#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// tamo-devsim as a child process: started in a folder, driven through its
// standard input, observed through its event lines and its files.
class DevsimProcess
{
public:
    DevsimProcess();
    ~DevsimProcess();

    static QString program();

    // Starts the simulator and waits for its "ready" line.
    bool start(const QString &folder, const QStringList &arguments = QStringList());
    // Sends one control line and returns the simulator's "ok ..."/"error ..." reply.
    QString command(const QString &line, int timeoutMs = 5000);
    // Waits for the next unread event line that starts with the prefix.
    bool waitForLine(const QString &prefix, int timeoutMs = 5000, QString *line = nullptr);
    // Signals the process and waits for it to end; returns its exit code, or -1.
    int stop(int signalNumber);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QString folder() const { return m_folder; }
    QString portOf(const QString &serial) const;
    QJsonObject portFile(const QString &serial) const;
    QJsonObject snapshot(const QString &serial) const;
    QString standardError() const { return QString::fromLocal8Bit(m_stderr); }
    QProcess &process() { return m_process; }

private:
    void collect();

    QProcess m_process;
    QString m_folder;
    QStringList m_lines;
    int m_next = 0;       // first line not yet looked at by waitForLine
    int m_nextReply = 0;  // first line not yet looked at by command
    QByteArray m_partial;
    QByteArray m_stderr;
};
