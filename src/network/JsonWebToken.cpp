#include "JsonWebToken.h"

#include "JsonHelpers.h"

#include <QJsonDocument>
#include <QList>

namespace {

QJsonObject segmentObject(const QByteArray &segment)
{
    const QByteArray decoded = QByteArray::fromBase64(segment, QByteArray::Base64UrlEncoding);
    QJsonDocument doc = parseJson(decoded);
    if (!doc.isObject())
        doc = parseJson(segment); // some issuers send plain JSON
    return doc.object();
}

} // namespace

JsonWebToken JsonWebToken::decode(const QByteArray &token)
{
    JsonWebToken jwt;
    const QList<QByteArray> parts = token.split('.');
    if (parts.size() != 3)
        return jwt;
    jwt.m_valid = true;
    jwt.m_header = segmentObject(parts.at(0));
    jwt.m_payload = segmentObject(parts.at(1));
    jwt.m_signature = parts.at(2);
    return jwt;
}

QString JsonWebToken::algorithm() const
{
    return m_header.value(QStringLiteral("alg")).toString();
}

bool JsonWebToken::isKnownAlgorithm(const QString &name)
{
    return name == QLatin1String("HS256") || name == QLatin1String("HS384") || name == QLatin1String("HS512");
}

qint64 JsonWebToken::numericClaim(const QString &name) const
{
    return jsonInteger(m_payload.value(name));
}
