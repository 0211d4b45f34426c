#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One tamo-cloudsim child process on loopback for a test: the fixture and its
// files are written to a temporary folder, the API base URL is read from the
// first line of the simulator's output, and what clients did is read back from
// its record.
class CloudSim
{
public:
    CloudSim(const QJsonObject &fixture, const QStringList &extraArgs = {},
             const QMap<QString, QByteArray> &files = {});
    ~CloudSim();
    CloudSim(const CloudSim &) = delete;
    CloudSim &operator=(const CloudSim &) = delete;

    bool isRunning() const { return !m_baseUrl.isEmpty(); }
    QString failure() const { return m_failure; }
    QString baseUrl() const { return m_baseUrl; }
    // The server root (the base URL without "api/v1/").
    QString rootUrl() const;
    QString folder() const { return m_dir.path(); }

    // Points the cloud client of this process at this simulator.
    void useForClient() const;
    // A CA certificate for reading the record over HTTPS.
    void setCaCertificate(const QString &pemPath) { m_caPath = pemPath; }

    QJsonObject record() const;
    // The recorded requests, oldest first; only those for path when given
    // ("signin/", "files/0/name" ...).
    QJsonArray requests(const QString &path = QString()) const;
    // The list named (e.g. "registrations", "tokenRefreshes") of the record.
    QJsonArray actions(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_baseUrl;
    QString m_failure;
    QString m_caPath;
};
