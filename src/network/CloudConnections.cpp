#include "CloudConnections.h"

#include "CloudAddresses.h"
#include "CloudProxyFactory.h"
#include "SecretRedactor.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSet>
#include <QSslConfiguration>
#include <QUrl>

QNetworkAccessManager *CloudConnections::createAccessManager(QObject *parent)
{
    auto *manager = new QNetworkAccessManager(parent);
    manager->setProxyFactory(new CloudProxyFactory); // the manager owns it
    // Redirects are followed by the requests themselves, where asked for.
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    return manager;
}

void CloudConnections::prepare(QNetworkRequest &request)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    request.setSslConfiguration(tls);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
}

bool CloudConnections::mayFetch(const QUrl &link)
{
    if (!link.isValid() || link.host().isEmpty())
        return false;
    const QString scheme = link.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    return scheme == QLatin1String("http")
        && QUrl(CloudAddresses::apiBaseUrl()).scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

QString CloudConnections::proxyHost(const QUrl &url)
{
    const QNetworkProxy proxy = CloudProxyFactory::proxyFor(url);
    if (proxy.type() == QNetworkProxy::NoProxy || proxy.type() == QNetworkProxy::DefaultProxy)
        return QString();
    return proxy.hostName();
}

void CloudConnections::logProxy()
{
    static QSet<QString> logged; // GUI thread only
    const QNetworkProxy proxy = CloudProxyFactory::proxyFor(QUrl(CloudAddresses::apiBaseUrl()));
    if (proxy.type() == QNetworkProxy::NoProxy || proxy.type() == QNetworkProxy::DefaultProxy)
        return;
    // An error text that quotes the proxy's password must not reach a log either.
    SecretRedactor::addSecret(proxy.password());
    const QString where = QStringLiteral("%1:%2").arg(proxy.hostName()).arg(proxy.port());
    if (logged.contains(where))
        return;
    logged.insert(where);
    qInfo().noquote() << QStringLiteral("Cloud requests go through the proxy at %1%2")
                             .arg(where, proxy.user().isEmpty() ? QString()
                                                                : QStringLiteral(" (with a user name and password)"));
}
