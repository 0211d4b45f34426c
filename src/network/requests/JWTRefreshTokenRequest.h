#pragma once

#include "JsonRequest.h"

// POST "refresh_token/": exchanges the refresh token for a new pair of tokens.
class JWTRefreshTokenRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit JWTRefreshTokenRequest(QObject *parent = nullptr);

    void setRefreshUrl(const QString &url) { m_refreshUrl = url; }
    void setRefreshToken(const QByteArray &token) { m_refreshToken = token; }

    QUrl url() const override;
    QByteArray body() const override;

private:
    QString m_refreshUrl;
    QByteArray m_refreshToken;
};
