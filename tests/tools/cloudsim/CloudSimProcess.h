#pragma once

#include "SimProcess.h"

#include <QJsonObject>
#include <QTemporaryDir>

// tamo-cloudsim as a child process, serving a fixture written into its own
// temporary folder together with the fixture's files.
class CloudSimProcess : public SimProcess
{
public:
    CloudSimProcess() : SimProcess(program()) {}

    static QString program() { return QStringLiteral(TAMO_CLOUDSIM); }
    // A small fixture that exercises every endpoint (see the .cpp for its data).
    static QJsonObject sampleFixture();
    static QByteArray sampleFileBytes(const QString &name);

    // Writes the fixture and the sample files, starts the server and reads the
    // base URL from its first output line; false (see errors()) on failure.
    bool start(const QJsonObject &fixture = sampleFixture(), const QStringList &extraArguments = {});

    QString baseUrl() const { return m_baseUrl; }
    // The server's address without the API path, where files and the record are.
    QString origin() const { return m_baseUrl.section(QStringLiteral("/api/"), 0, 0); }
    QString folder() const { return m_dir.path(); }
    QString statePath() const { return m_dir.filePath(QStringLiteral("state.json")); }

private:
    QTemporaryDir m_dir;
    QString m_baseUrl;
};
