#include "CloudProxyFactory.h"

#include <QHostAddress>
#include <QUrl>

QList<QNetworkProxy> CloudProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    if (isLoopback(query.peerHostName()))
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    // Qt's reading of https_proxy, http_proxy and no_proxy; made explicit here
    // rather than left to the process-wide default, which a library may change.
    QList<QNetworkProxy> proxies = systemProxyForQuery(query);
    if (proxies.isEmpty())
        proxies.append(QNetworkProxy(QNetworkProxy::NoProxy));
    return proxies;
}

QNetworkProxy CloudProxyFactory::proxyFor(const QUrl &url)
{
    CloudProxyFactory factory;
    return factory.queryProxy(QNetworkProxyQuery(url)).constFirst();
}

bool CloudProxyFactory::isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || host.startsWith(QLatin1String("localhost."), Qt::CaseInsensitive))
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}
