#include "JWTAuthorizationManager.h"

#include "JsonWebToken.h"
#include "SecretRedactor.h"
#include "requests/JWTRefreshTokenRequest.h"

#include <QDebug>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>

#include <limits>

namespace {

QPointer<JWTAuthorizationManager> &globalManager()
{
    static QPointer<JWTAuthorizationManager> manager;
    return manager;
}

} // namespace

JWTAuthorizationManager::JWTAuthorizationManager(QObject *parent)
    : QObject(parent)
    , m_refreshTimer(new QTimer(this))
{
    m_refreshTimer->setSingleShot(false);
}

JWTAuthorizationManager::~JWTAuthorizationManager() = default;

JWTAuthorizationManager *JWTAuthorizationManager::instance()
{
    return globalManager().data();
}

void JWTAuthorizationManager::setInstance(JWTAuthorizationManager *manager)
{
    globalManager() = manager;
}

bool JWTAuthorizationManager::hasTokens() const
{
    return !m_authToken.isEmpty() && !m_refreshToken.isEmpty();
}

void JWTAuthorizationManager::clearTokens()
{
    m_authToken.clear();
    m_refreshToken.clear();
    // Without tokens a scheduled renewal could only fail, again and again.
    m_refreshTimer->stop();
    if (m_renewal) {
        // Its answer must not bring the tokens back after a logout; requests
        // waiting for it end as after a failed renewal.
        JWTRefreshTokenRequest *abandoned = m_renewal.data();
        m_renewal.clear();
        abandoned->disconnect(this);
        abandoned->slotCancel();
        abandoned->deleteLater();
        emit accessDataDidRefresh(false);
    }
}

void JWTAuthorizationManager::setRefreshToken(const QByteArray &token)
{
    m_refreshToken = token;
    SecretRedactor::addSecret(QString::fromUtf8(token));
}

void JWTAuthorizationManager::setRefreshUrl(const QString &url)
{
    m_refreshUrl = url;
}

int JWTAuthorizationManager::renewalInterval(qint64 iat, qint64 exp)
{
    if (iat == 0 || exp == 0 || exp <= iat)
        return -1;
    // Unsigned, so that no pair of claims, however far apart, can overflow.
    const quint64 lifetime = static_cast<quint64>(exp) - static_cast<quint64>(iat); // exp > iat
    if (lifetime <= 1)
        return -1;
    constexpr quint64 maxSeconds = std::numeric_limits<int>::max() / 1000;
    if (lifetime - 1 > maxSeconds)
        return std::numeric_limits<int>::max(); // renewing early is harmless
    return static_cast<int>((lifetime - 1) * 1000);
}

void JWTAuthorizationManager::setAuthToken(const QByteArray &token)
{
    m_authToken = token;
    SecretRedactor::addSecret(QString::fromUtf8(token));
    m_refreshTimer->stop();

    const JsonWebToken jwt = JsonWebToken::decode(token);
    const qint64 iat = jwt.numericClaim(QStringLiteral("iat"));
    const qint64 exp = jwt.numericClaim(QStringLiteral("exp"));
    const int interval = renewalInterval(iat, exp);
    if (interval < 0) {
        if (iat != 0 && exp != 0)
            qDebug() << "Access token lifetime too short to schedule a renewal:" << exp - iat << "s";
        return;
    }
    connect(m_refreshTimer, &QTimer::timeout, this, &JWTAuthorizationManager::slotStartRefreshing,
            Qt::UniqueConnection);
    m_refreshTimer->start(interval);
}

bool JWTAuthorizationManager::isRenewalScheduled() const
{
    return m_refreshTimer->isActive();
}

int JWTAuthorizationManager::scheduledInterval() const
{
    return m_refreshTimer->isActive() ? m_refreshTimer->interval() : -1;
}

void JWTAuthorizationManager::addAuthorizationHeader(RawHeaders &headers) const
{
    headers.insert(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + m_authToken);
}

bool JWTAuthorizationManager::isAuthorizationError(int httpStatus, const QByteArray &body) const
{
    Q_UNUSED(body)
    return httpStatus == 401;
}

void JWTAuthorizationManager::slotStartRefreshing()
{
    if (m_renewal)
        return; // its end is announced to every waiting request
    auto *request = new JWTRefreshTokenRequest(this);
    m_renewal = request;
    request->setAccessManager(m_accessManager);
    request->setRefreshUrl(m_refreshUrl);
    request->setRefreshToken(m_refreshToken);
    connect(request, &Request::finished, this, &JWTAuthorizationManager::slotRefreshFinished, Qt::UniqueConnection);
    qDebug() << "Renewing the access token";
    request->slotSend();
}

void JWTAuthorizationManager::slotRefreshFinished(Request *request)
{
    auto *refresh = qobject_cast<JWTRefreshTokenRequest *>(request);
    const bool ok = refresh && !refresh->hasError();
    if (ok) {
        const QJsonObject data = refresh->jsonObject().value(QStringLiteral("data")).toObject();
        setAuthToken(data.value(QStringLiteral("authToken")).toString().toUtf8());
        setRefreshToken(data.value(QStringLiteral("refreshToken")).toString().toUtf8());
        emit tokensDidChanged();
        qDebug() << "Access token renewed";
    } else {
        qWarning().noquote() << QStringLiteral("Access token renewal failed (HTTP status %1): %2")
                                    .arg(request ? request->httpStatusCode() : 0)
                                    .arg(request ? SecretRedactor::redact(request->errorString()) : QString());
    }
    if (request)
        request->deleteLater();
    m_renewal.clear();
    emit accessDataDidRefresh(ok);
}
