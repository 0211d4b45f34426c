#pragma once

#include <QNetworkProxyFactory>

// Which proxy a cloud request goes through. Linux has no proxy settings of its
// own beyond the environment, so this is the environment as Qt reads it:
// https_proxy for https addresses, http_proxy for http ones (and as the
// fall-back for https), both as http://[user:password@]host[:port], and no_proxy
// (comma-separated host names, each also matching its subdomains) for hosts
// reached directly. Loopback addresses and "localhost" are always reached
// directly: a simulator or a local test service must not be sent to a
// company's proxy. The user name and password of the address answer the
// proxy's request for credentials.
class CloudProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query = QNetworkProxyQuery()) override;

    // The proxy a request for url goes through; NoProxy when none.
    static QNetworkProxy proxyFor(const QUrl &url);
    static bool isLoopback(const QString &host);
};
