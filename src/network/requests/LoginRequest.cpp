#include "LoginRequest.h"

#include "JsonHelpers.h"
#include "UserInfo.h"

LoginRequest::LoginRequest(QObject *parent)
    : JsonRequest(parent)
{
    // Never carries a bearer header, even while tokens are held.
    setNeedsAuthorization(false);
}

QUrl LoginRequest::url() const
{
    return apiUrl(QStringLiteral("signin/"));
}

QByteArray LoginRequest::body() const
{
    return jsonObjectToBytes({{QStringLiteral("email"), m_email}, {QStringLiteral("password"), m_password}});
}

QJsonObject LoginRequest::data() const
{
    return jsonObject().value(QStringLiteral("data")).toObject();
}

QByteArray LoginRequest::authToken() const
{
    return data().value(QStringLiteral("authToken")).toString().toUtf8();
}

QByteArray LoginRequest::refreshToken() const
{
    return data().value(QStringLiteral("refreshToken")).toString().toUtf8();
}

UserInfo *LoginRequest::userRecord() const
{
    const QJsonObject d = data();
    if (d.isEmpty())
        return nullptr;
    auto *user = new UserInfo;
    user->readCommonFields(d);
    const QJsonObject logo = d.value(QStringLiteral("companyLogo")).toObject();
    const QString link = logo.value(QStringLiteral("link")).toString();
    const QString signature = logo.value(QStringLiteral("signature")).toString();
    if (!link.isEmpty() && !signature.isEmpty())
        user->companyLogo = QUrl(link + QLatin1Char('?') + signature, QUrl::TolerantMode);
    return user;
}

QString LoginRequest::loginErrorText(const QString &serverText)
{
    if (serverText.contains(QLatin1String("User with email ")) && serverText.contains(QLatin1String("doesn't exist.")))
        return tr("Email address does not exist. Please re-enter.");
    if (serverText == QLatin1String("Email or password is wrong."))
        return tr("Email and PW do not match. Please re-enter.");
    return serverText;
}

void LoginRequest::parseError(const QByteArray &data)
{
    setErrorText(loginErrorText(errorTextFromJson(data)));
}
