#include "JWTRefreshTokenRequest.h"

#include "JsonHelpers.h"

JWTRefreshTokenRequest::JWTRefreshTokenRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(false);
}

QUrl JWTRefreshTokenRequest::url() const
{
    return QUrl(m_refreshUrl, QUrl::TolerantMode);
}

QByteArray JWTRefreshTokenRequest::body() const
{
    return jsonObjectToBytes({{QStringLiteral("token"), QString::fromUtf8(m_refreshToken)}});
}
