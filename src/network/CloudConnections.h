#pragma once

#include <QString>

class QNetworkAccessManager;
class QNetworkRequest;
class QObject;
class QUrl;

// How the cloud client reaches the cloud. One access manager serves every
// request (the facade owns it and hands it to each): Qt keeps up to six
// connections per host alive and resumes TLS sessions on them, where a manager
// per request would open a connection and do a full handshake for every call.
// Every request is sent with TLS 1.2 or later and may use HTTP/2 where the
// server offers it (negotiated with ALPN; a server that speaks HTTP/1.1 only
// stays at 1.1). Proxies come from the environment (CloudProxyFactory).
class CloudConnections
{
public:
    // A manager for cloud requests, with the proxy rules of the environment.
    static QNetworkAccessManager *createAccessManager(QObject *parent);
    // Sets the TLS floor and allows HTTP/2 on a request about to be sent.
    static void prepare(QNetworkRequest &request);

    // Whether a link from the cloud may be fetched: https always, plain http
    // only while the API itself is reached over http (a local test set-up);
    // nothing else (file:, ftp:, data: ...) ever.
    static bool mayFetch(const QUrl &link);

    // "the proxy at HOST" for the proxy that url goes through; empty when none.
    static QString proxyHost(const QUrl &url);

    // Logs once per proxy which one the cloud's address goes through, without
    // its user name and password.
    static void logProxy();
};
