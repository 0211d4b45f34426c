#include "Request.h"

#include "CloudConnections.h"
#include "CloudProxyFactory.h"
#include "FailureText.h"
#include "NetworkRequest.h"
#include "Timings.h"
#include "TlsTrust.h"

#include <QDateTime>
#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QStringList>
#include <QTimer>

#include <cstdlib>

namespace {

const char *methodName(int method)
{
    switch (method) {
    case NetworkRequest::Get:
        return "GET";
    case NetworkRequest::Put:
        return "PUT";
    case NetworkRequest::Post:
        return "POST";
    case NetworkRequest::Delete:
        return "DELETE";
    default:
        return "?";
    }
}

} // namespace

Request::Request(QObject *parent)
    : QObject(parent)
    , m_errorText(tr("Unknown error"))
    , m_timeoutTimer(new QTimer(this))
    , m_timeout(Timings::ms(Timings::RequestTimeout))
{
    // Start-up trust: a no-op after the first request of the process.
    TlsTrust::installFromEnvironment();
    m_timeoutTimer->setSingleShot(true);
    m_timeoutTimer->setInterval(m_timeout);
    connect(m_timeoutTimer, &QTimer::timeout, this, &Request::onTimerTimeout, Qt::UniqueConnection);
}

Request::~Request()
{
    dropReply();
}

QString Request::errorString() const
{
    return m_errorText;
}

Request::Status Request::status() const
{
    return m_status;
}

bool Request::hasError() const
{
    return m_status != NoError;
}

void Request::setTimeout(int ms)
{
    m_timeout = ms;
    m_timeoutTimer->setInterval(ms);
}

void Request::setAttempts(int attempts)
{
    m_attempts = attempts;
    m_attemptsLeft = attempts;
}

void Request::setAccessManager(QNetworkAccessManager *manager)
{
    if (m_ownsAccessManager)
        return; // configured for this request alone: kept
    m_accessManager = manager;
}

QNetworkAccessManager *Request::accessManager()
{
    if (!m_accessManager)
        useOwnAccessManager();
    return m_accessManager;
}

void Request::useOwnAccessManager()
{
    if (m_ownsAccessManager)
        return;
    m_accessManager = CloudConnections::createAccessManager(this);
    m_ownsAccessManager = true;
}

void Request::setCacheDirectory(const QString &path)
{
    if (!m_diskCache) {
        // A cache would serve every request of a shared manager.
        useOwnAccessManager();
        m_diskCache = new QNetworkDiskCache(this);
        m_accessManager->setCache(m_diskCache); // the manager takes the cache over
    }
    m_diskCache->setCacheDirectory(path);
}

void Request::startTimer()
{
    if (m_timeout > 0) // 0 switches the time-out off
        m_timeoutTimer->start();
    m_startTime = QDateTime::currentMSecsSinceEpoch();
}

void Request::resetAttempts()
{
    m_timeoutTimer->stop();
    m_attemptsLeft = m_attempts;
}

void Request::stopTimeoutTimer()
{
    m_timeoutTimer->stop();
}

void Request::restartTimeout()
{
    if (m_timeoutTimer->isActive())
        m_timeoutTimer->start();
}

QString Request::timeoutText() const
{
    return tr("No data from the cloud for %1 s").arg(m_timeout / 1000.0, 0, 'g', 3);
}

void Request::slotSend()
{
    emit started();
    m_timeoutTimer->stop();
    m_attemptsLeft = m_attempts;
    prepare();
    send();
}

void Request::prepare()
{
}

void Request::cancelled()
{
}

QNetworkRequest Request::createRequest(const QUrl &url, const RawHeaders &headers)
{
    QNetworkRequest request(url);
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it)
        request.setRawHeader(it.key(), it.value());
    if (m_diskCache)
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    CloudConnections::prepare(request);
    return request;
}

QNetworkReply *Request::sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request,
                                    int method, const QByteArray &body)
{
    if (!accessManager)
        return nullptr;
    switch (method) {
    case NetworkRequest::Get:
        return accessManager->get(request);
    case NetworkRequest::Put:
        return accessManager->put(request, body);
    case NetworkRequest::Post:
        return accessManager->post(request, body);
    case NetworkRequest::Delete:
        return accessManager->deleteResource(request);
    default:
        return nullptr;
    }
}

void Request::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *old = m_reply;
    m_reply = nullptr;
    old->disconnect(this);
    disconnect(old, nullptr, this, nullptr);
    old->abort();
    old->deleteLater();
}

void Request::dispatch(const QNetworkRequest &request, int method, const QByteArray &body)
{
    m_status = UnknownError;
    m_errorText = tr("Unknown error");
    m_sslErrorText.clear();
    m_abortStatus = NoError;
    m_abortText.clear();
    m_lastRequest = request;
    m_lastMethod = method;
    m_lastBody = body;
    dropReply();
    if (m_proxy.type() != QNetworkProxy::DefaultProxy) {
        // A proxy for this request alone; the shared manager keeps the
        // environment's.
        useOwnAccessManager();
        m_accessManager->setProxy(m_proxy);
    }
    // The address only: queries may carry signed access keys.
    qDebug().noquote() << "Cloud request" << methodName(method)
                       << request.url().toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo);
    m_reply = sendRequest(accessManager(), request, method, body);
    if (!m_reply)
        return;
    connect(m_reply, &QNetworkReply::sslErrors, this, &Request::slotHandleSslError, Qt::UniqueConnection);
    connect(m_reply, &QNetworkReply::uploadProgress, this, &Request::progressUpload, Qt::UniqueConnection);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &Request::progressDownload, Qt::UniqueConnection);
    connect(m_reply, &QNetworkReply::finished, this, &Request::slotRequestFinished, Qt::UniqueConnection);
    // Headers, answer bytes or body bytes sent: each proves the exchange moves.
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Request::restartTimeout, Qt::UniqueConnection);
    connect(m_reply, &QNetworkReply::uploadProgress, this, &Request::restartTimeout, Qt::UniqueConnection);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &Request::restartTimeout, Qt::UniqueConnection);
    startTimer();
}

void Request::slotRequestFinished()
{
    m_timeoutTimer->stop();
    m_startTime = std::llabs(QDateTime::currentMSecsSinceEpoch() - m_startTime);

    if (m_reply) {
        QNetworkReply *const current = m_reply;
        m_httpStatusCode = current->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_networkError = current->error();

        if (current->error() == QNetworkReply::NoError) {
            m_status = NoError;
            m_errorText = tr("No Error");
            const QUrl target = current->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
            if (m_followRedirects && !target.isEmpty()) {
                const QUrl resolved = current->url().resolved(target);
                if (m_visitedRedirects.contains(resolved)) {
                    m_status = RedirectLoopError;
                    m_errorText = tr("Looping redirect");
                } else if (resolved.isValid()) {
                    m_visitedRedirects.append(resolved);
                    current->deleteLater();
                    m_reply = nullptr;
                    m_lastRequest.setUrl(resolved);
                    dispatch(m_lastRequest, m_lastMethod, m_lastBody);
                    return;
                }
            }
        } else {
            m_status = current->error() == QNetworkReply::OperationCanceledError ? CanceledError : TransportError;
            m_errorText = current->errorString();
            // A refused certificate: say why it was refused.
            if (current->error() == QNetworkReply::SslHandshakeFailedError && !m_sslErrorText.isEmpty())
                m_errorText = m_sslErrorText;
        }
        const QString proxyText = proxyFailureText(*current);

        const bool ok = processReply(current);
        if (m_reply == current) {
            current->deleteLater();
            m_reply = nullptr;
        }
        if (!ok)
            return;
        if (m_abortStatus != NoError) {
            // An answer this request cut (stalled, too large) ends as cut,
            // whatever its status line said.
            m_status = m_abortStatus;
            m_errorText = m_abortText;
        } else if (!proxyText.isEmpty()) {
            // The proxy's refusal, not the page it sent with it.
            m_status = TransportError;
            m_errorText = proxyText;
        }
        if (hasError() && --m_attemptsLeft > 0) {
            dispatch(m_lastRequest, m_lastMethod, m_lastBody);
            return;
        }
    }
    QTimer::singleShot(0, this, &Request::slotSendFinished);
}

void Request::slotSendFinished()
{
    finish();
}

void Request::finish()
{
    m_visitedRedirects.clear();
    emit finished(this);
}

void Request::finishWithError(Status status, const QString &text)
{
    m_timeoutTimer->stop();
    dropReply();
    m_status = status;
    m_errorText = text;
    QTimer::singleShot(0, this, &Request::slotSendFinished);
}

void Request::abortWithError(Status status, const QString &text)
{
    if (!m_reply || m_abortStatus != NoError)
        return;
    m_abortStatus = status;
    m_abortText = text;
    m_reply->abort(); // ends the send through slotRequestFinished()
}

QString Request::proxyFailureText(const QNetworkReply &reply) const
{
    if (reply.error() != QNetworkReply::ProxyAuthenticationRequiredError)
        return QString();
    const QNetworkProxy proxy = CloudProxyFactory::proxyFor(reply.url());
    // A manager of this request's own may have a proxy of its own.
    const QNetworkProxy used = m_proxy.type() != QNetworkProxy::DefaultProxy ? m_proxy : proxy;
    return used.user().isEmpty() ? FailureText::proxyNeedsCredentials(used.hostName())
                                 : FailureText::proxyRefusedCredentials(used.hostName());
}

void Request::slotHandleSslError(const QList<QSslError> &lListErrors)
{
    // Never ignored: the handshake fails and the request ends with these texts.
    QStringList texts;
    for (const QSslError &error : lListErrors)
        texts.append(error.errorString());
    m_sslErrorText = texts.join(QLatin1Char('\n'));
    qWarning().noquote() << "TLS refused for"
                         << (m_reply ? m_reply->url().toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo) : QString())
                         << ":" << m_sslErrorText;
}

void Request::slotCancel()
{
    m_timeoutTimer->stop();
    m_attemptsLeft = m_attempts;
    dropReply();
    cancelled();
}

void Request::slotCancelWithError()
{
    if (!m_reply) {
        m_timeoutTimer->stop();
        m_status = UnknownError;
        m_errorText = tr("Unknown error");
        cancelled();
        finish();
        return;
    }
    m_reply->abort();
}

void Request::onTimerTimeout()
{
    m_timeoutTimer->stop();
    qWarning().noquote() << "Cloud request timed out:"
                         << (m_reply ? m_reply->url().toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo)
                                     : QString())
                         << timeoutText();
    if (!m_reply) {
        cancelled();
        finishWithError(TimeoutError, timeoutText());
        return;
    }
    abortWithError(TimeoutError, timeoutText());
}
