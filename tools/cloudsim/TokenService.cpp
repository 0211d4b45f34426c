#include "TokenService.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace {

const QByteArray::Base64Options Base64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), count / 4);
    return bytes;
}

QJsonObject decodeSegment(const QByteArray &segment)
{
    const auto decoded = QByteArray::fromBase64Encoding(segment, Base64Url | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return QJsonObject();
    return QJsonDocument::fromJson(*decoded).object();
}

} // namespace

TokenService::TokenService(const QByteArray &secret, qint64 accessLifetimeSeconds, qint64 refreshLifetimeSeconds)
    : m_secret(secret)
    , m_accessLifetime(accessLifetimeSeconds)
    , m_refreshLifetime(refreshLifetimeSeconds)
{
}

QByteArray TokenService::sign(const QByteArray &signingInput) const
{
    return QMessageAuthenticationCode::hash(signingInput, m_secret, QCryptographicHash::Sha256)
        .toBase64(Base64Url);
}

TokenService::Pair TokenService::issue(int userId, const QString &role)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QJsonObject header{{QStringLiteral("alg"), QStringLiteral("HS256")}, {QStringLiteral("typ"), QStringLiteral("JWT")}};
    const QJsonObject payload{
        {QStringLiteral("sub"), QString::number(userId)},
        {QStringLiteral("id"), userId},
        {QStringLiteral("role"), role},
        {QStringLiteral("iat"), now},
        {QStringLiteral("exp"), now + m_accessLifetime},
        // Two tokens issued in the same second still differ.
        {QStringLiteral("jti"), QString::fromLatin1(randomBytes(12).toHex())},
    };
    const QByteArray input = QJsonDocument(header).toJson(QJsonDocument::Compact).toBase64(Base64Url) + '.'
        + QJsonDocument(payload).toJson(QJsonDocument::Compact).toBase64(Base64Url);
    Pair pair;
    pair.authToken = input + '.' + sign(input);
    pair.refreshToken = randomBytes(32).toBase64(Base64Url);
    m_refresh.insert(pair.refreshToken, Refresh{userId, now + m_refreshLifetime});
    return pair;
}

TokenService::Verdict TokenService::verify(const QByteArray &token, int *userId) const
{
    const QList<QByteArray> parts = token.split('.');
    if (parts.size() != 3)
        return Verdict::Invalid;
    const QByteArray expected = sign(parts.at(0) + '.' + parts.at(1));
    if (expected.size() != parts.at(2).size())
        return Verdict::Invalid;
    // Compared without an early exit, as a real service must.
    char difference = 0;
    for (int i = 0; i < expected.size(); ++i)
        difference |= expected.at(i) ^ parts.at(2).at(i);
    if (difference != 0)
        return Verdict::Invalid;
    if (decodeSegment(parts.at(0)).value(QStringLiteral("alg")).toString() != QLatin1String("HS256"))
        return Verdict::Invalid;
    const QJsonObject payload = decodeSegment(parts.at(1));
    const qint64 exp = payload.value(QStringLiteral("exp")).toVariant().toLongLong();
    if (QDateTime::currentSecsSinceEpoch() >= exp)
        return Verdict::Expired;
    *userId = payload.value(QStringLiteral("id")).toInt();
    return Verdict::Valid;
}

bool TokenService::redeem(const QByteArray &refreshToken, int *userId)
{
    const auto it = m_refresh.find(refreshToken);
    if (it == m_refresh.end())
        return false;
    const Refresh entry = it.value();
    m_refresh.erase(it);
    if (QDateTime::currentSecsSinceEpoch() >= entry.expires)
        return false;
    *userId = entry.userId;
    return true;
}
