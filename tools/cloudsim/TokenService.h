#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Access tokens are JSON Web Tokens signed with HS256 and carrying "iat" and
// "exp"; refresh tokens are opaque and used once: each renewal replaces both.
class TokenService
{
public:
    TokenService(const QByteArray &secret, qint64 accessLifetimeSeconds, qint64 refreshLifetimeSeconds);

    struct Pair {
        QByteArray authToken;
        QByteArray refreshToken;
    };
    Pair issue(int userId, const QString &role);

    enum class Verdict { Valid, Invalid, Expired };
    Verdict verify(const QByteArray &token, int *userId) const;

    // Consumes the refresh token; false (and no user) when it is unknown,
    // already used or expired.
    bool redeem(const QByteArray &refreshToken, int *userId);

private:
    QByteArray sign(const QByteArray &signingInput) const;

    QByteArray m_secret;
    qint64 m_accessLifetime;
    qint64 m_refreshLifetime;
    struct Refresh {
        int userId;
        qint64 expires;
    };
    QHash<QByteArray, Refresh> m_refresh;
};
