#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Reads the header and the claims of a JSON Web Token in compact form. The
// signature is kept but never verified: the client only needs the lifetime.
class JsonWebToken
{
public:
    static JsonWebToken decode(const QByteArray &token);

    bool isValid() const { return m_valid; }
    QJsonObject header() const { return m_header; }
    QJsonObject payload() const { return m_payload; }
    QByteArray signature() const { return m_signature; }
    QString algorithm() const;
    // True for the HMAC algorithms of the standard: HS256, HS384, HS512.
    static bool isKnownAlgorithm(const QString &name);

    // A numeric claim in whole seconds; 0 when absent or not a number.
    qint64 numericClaim(const QString &name) const;

private:
    bool m_valid = false;
    QJsonObject m_header;
    QJsonObject m_payload;
    QByteArray m_signature;
};
