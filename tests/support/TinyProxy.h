#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real HTTP proxy for a test: Debian's tinyproxy as a child process on
// loopback, asking for a user name and password (BasicAuth) and reaching the
// simulators by the names they are given. Qt never sends loopback addresses
// through a proxy, so a simulator behind it is addressed by a name that
// resolves to a loopback address (localLoopbackName()).
class TinyProxy
{
public:
    TinyProxy(const QString &user, const QString &password);
    ~TinyProxy();
    TinyProxy(const TinyProxy &) = delete;
    TinyProxy &operator=(const TinyProxy &) = delete;

    bool isRunning() const { return m_port != 0; }
    QString failure() const { return m_failure; }
    // http://[user:password@]127.0.0.1:PORT
    QString address(const QString &user = QString(), const QString &password = QString()) const;
    // What the proxy printed so far: the requests it took and refused.
    QString log();

    // This machine's own name and the loopback address it resolves to, for a
    // simulator's --url-host and --listen; empty when the name resolves to no
    // loopback address.
    static QString localLoopbackName(QString *address);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_failure;
    QString m_log;
};
