#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class NetworkManager;

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
    // The connections the simulator accepted and the TLS handshakes it
    // completed (-1 over plain HTTP), this object's own reads of the record and
    // the counts left out: what clients cost it.
    struct Connections {
        int accepted = -1;
        int tlsHandshakes = -1;
    };
    Connections connections() const;
    // The recorded requests, oldest first; only those for path when given
    // ("signin/", "files/0/name" ...).
    QJsonArray requests(const QString &path = QString()) const;
    // The list named (e.g. "registrations", "tokenRefreshes") of the record.
    QJsonArray actions(const QString &name) const;

    // The operator account of most fixtures: op@acme.test, "Op-Pass-1", user 7.
    static QJsonObject operatorUser();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_baseUrl;
    QString m_failure;
    // A JSON document of the simulator's own paths ("_sim/record" ...).
    QJsonObject read(const QString &path) const;

    QString m_caPath;
    mutable int m_recordReads = 0; // each opens a connection of its own
};

// A simulator with a facade pointed at it, for suites that drive the facade; each
// start() replaces both.
class CloudSession
{
public:
    CloudSession();
    ~CloudSession();

    bool start(const QJsonObject &fixture, const QStringList &extraArgs = {},
               const QMap<QString, QByteArray> &files = {});
    // Signs in with the operator account (or the one given); true when accepted.
    bool login(const QString &email = QStringLiteral("op@acme.test"),
               const QString &password = QStringLiteral("Op-Pass-1"));
    void reset();

    CloudSim *sim() const { return m_sim.get(); }
    NetworkManager *net() const { return m_net.get(); }

private:
    std::unique_ptr<CloudSim> m_sim;
    std::unique_ptr<NetworkManager> m_net;
};
