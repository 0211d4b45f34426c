#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// tamo-cloudsim as a child process, serving a fixture written into its own
// temporary folder together with the fixture's files.
class CloudSimProcess
{
public:
    CloudSimProcess();
    ~CloudSimProcess();

    // A small fixture that exercises every endpoint (see the .cpp for its data).
    static QJsonObject sampleFixture();
    static QByteArray sampleFileBytes(const QString &name);

    // Writes the fixture and the sample files, starts the server and reads the
    // base URL from its first output line; false (see errorOutput) on failure.
    bool start(const QJsonObject &fixture = sampleFixture(), const QStringList &extraArguments = {});
    // SIGTERM, then the exit code (-1 when it did not end normally).
    int stop();

    QString baseUrl() const { return m_baseUrl; }
    QString folder() const { return m_dir.path(); }
    QString statePath() const { return m_dir.filePath(QStringLiteral("state.json")); }
    QByteArray errorOutput();

    static QString program();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_baseUrl;
    QByteArray m_stderr;
};
