#include "AuthorizationRequest.h"

#include "JWTAuthorizationManager.h"

AuthorizationRequest::AuthorizationRequest(QObject *parent)
    : NetworkRequest(parent)
{
}

void AuthorizationRequest::prepare()
{
    NetworkRequest::prepare();
    if (!m_resending) {
        // A send from the start: the renewal history of earlier sends is over.
        m_refreshFailed = false;
        m_renewals = 0;
        stopWaiting();
    }
    m_resending = false;
}

void AuthorizationRequest::send(const QUrl &url, const RawHeaders &headers, Method method, const QByteArray &body)
{
    JWTAuthorizationManager *manager = JWTAuthorizationManager::instance();
    if (m_needsAuthorization && !m_refreshFailed && manager && manager->hasTokens()) {
        RawHeaders withToken = this->headers();
        manager->addAuthorizationHeader(withToken);
        NetworkRequest::send(this->url(), withToken, method, body);
        return;
    }
    NetworkRequest::send(url, headers, method, body);
}

bool AuthorizationRequest::handleAnswer(const QByteArray &data)
{
    if (m_refreshFailed) {
        setStatus(AuthorizationError);
        setErrorText(tr("Cannot refresh access token"));
        return true;
    }
    JWTAuthorizationManager *manager = JWTAuthorizationManager::instance();
    if (m_needsAuthorization && manager && manager->isAuthorizationError(httpStatusCode(), data)) {
        if (m_renewals >= kMaxRenewals) {
            // The server keeps refusing freshly issued tokens: stop the cycle.
            setStatus(AuthorizationError);
            setErrorText(tr("Cannot refresh access token"));
            return true;
        }
        ++m_renewals;
        connect(manager, &JWTAuthorizationManager::accessDataDidRefresh, this,
                &AuthorizationRequest::slotAccessDataRefreshed, Qt::UniqueConnection);
        manager->slotStartRefreshing();
        return false;
    }
    return NetworkRequest::handleAnswer(data);
}

void AuthorizationRequest::slotAccessDataRefreshed(bool result)
{
    m_refreshFailed = !result;
    stopWaiting();
    m_resending = true;
    slotSend();
}

void AuthorizationRequest::cancelled()
{
    NetworkRequest::cancelled();
    stopWaiting();
}

void AuthorizationRequest::stopWaiting()
{
    if (JWTAuthorizationManager *manager = JWTAuthorizationManager::instance()) {
        disconnect(manager, &JWTAuthorizationManager::accessDataDidRefresh, this,
                   &AuthorizationRequest::slotAccessDataRefreshed);
    }
}
