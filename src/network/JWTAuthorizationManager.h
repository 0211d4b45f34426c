#pragma once

#include "RawHeaders.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QTimer;
class Request;
class JWTRefreshTokenRequest;

// Holds the access and refresh tokens in memory, adds the bearer header to the
// calls that need it and renews the access token: shortly before it expires and
// whenever a call meets a 401.
class JWTAuthorizationManager : public QObject
{
    Q_OBJECT

public:
    explicit JWTAuthorizationManager(QObject *parent = nullptr);
    ~JWTAuthorizationManager() override;

    // The process-wide manager that requests use; null until the facade sets one,
    // and null again once that manager is destroyed.
    static JWTAuthorizationManager *instance();
    static void setInstance(JWTAuthorizationManager *manager);

    bool hasTokens() const;
    void clearTokens();
    void setAuthToken(const QByteArray &token);
    void setRefreshToken(const QByteArray &token);
    void setRefreshUrl(const QString &url);
    // The connection pool renewals go through (not owned).
    void setAccessManager(QNetworkAccessManager *manager) { m_accessManager = manager; }
    QByteArray authToken() const { return m_authToken; }
    QByteArray refreshToken() const { return m_refreshToken; }
    QString refreshUrl() const { return m_refreshUrl; }

    void addAuthorizationHeader(RawHeaders &headers) const;
    bool isAuthorizationError(int httpStatus, const QByteArray &body) const;

    // The renewal period for a token issued at iat and expiring at exp (seconds):
    // one second before the end of its lifetime, at most the longest interval a
    // timer can hold; -1 when no renewal can be scheduled (claims missing, or a
    // lifetime of one second or less, which only the 401 path can serve).
    static int renewalInterval(qint64 iat, qint64 exp);
    bool isRenewalScheduled() const;
    int scheduledInterval() const;
    bool isRenewing() const { return !m_renewal.isNull(); }

signals:
    void accessDataDidRefresh(bool success);
    void tokensDidChanged();

public slots:
    // Starts a renewal, or joins the one in flight: the service rotates refresh
    // tokens, so a second renewal with the same refresh token could only fail,
    // and its failure could overtake the first renewal's success.
    void slotStartRefreshing();

private slots:
    void slotRefreshFinished(Request *request);

private:
    QTimer *m_refreshTimer = nullptr;
    QByteArray m_authToken;
    QByteArray m_refreshToken;
    QString m_refreshUrl;
    QPointer<JWTRefreshTokenRequest> m_renewal; // the renewal in flight
    QPointer<QNetworkAccessManager> m_accessManager;
};
