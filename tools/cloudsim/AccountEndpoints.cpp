#include "AccountEndpoints.h"

#include "ApiRouter.h"
#include "CloudState.h"
#include "JsonShape.h"

#include <QDateTime>
#include <QJsonObject>

namespace {

QJsonValue dob(const QDate &date)
{
    if (!date.isValid())
        return QJsonValue();
    return QDateTime(date, QTime(0, 0), Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonObject userFields(const CloudStore::User &user)
{
    return QJsonObject{
        {QStringLiteral("id"), user.id},
        {QStringLiteral("email"), user.email},
        {QStringLiteral("firstName"), user.firstName},
        {QStringLiteral("lastName"), user.lastName},
        {QStringLiteral("fullname"), user.fullname},
        {QStringLiteral("username"), user.username},
        {QStringLiteral("role"), user.role},
        {QStringLiteral("companyId"), user.companyId == 0 ? QJsonValue() : QJsonValue(user.companyId)},
        {QStringLiteral("dob"), dob(user.dob)},
    };
}

} // namespace

AccountEndpoints::AccountEndpoints(CloudState &state)
    : m_state(state)
{
}

void AccountEndpoints::addRoutes(ApiRouter &router)
{
    using A = ApiRouter::Access;
    router.add(QStringLiteral("POST"), QStringLiteral("signin/"), A::Public,
               [this](ApiCall &call) { return signIn(call); });
    router.add(QStringLiteral("POST"), QStringLiteral("refresh_token/"), A::Public,
               [this](ApiCall &call) { return refresh(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("user/([0-9]+)"), A::Bearer,
               [this](ApiCall &call) { return user(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("company/([0-9]+)"), A::Bearer,
               [this](ApiCall &call) { return company(call); });
}

ApiAnswer AccountEndpoints::signIn(const ApiCall &call)
{
    const QString problem = JsonShape()
                                .required(QStringLiteral("email"), JsonShape::String)
                                .required(QStringLiteral("password"), JsonShape::String)
                                .problem(call.json);
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    const QString email = call.json.value(QStringLiteral("email")).toString();
    const CloudStore::User *user = m_state.store.userByEmail(email);
    QJsonObject entry{{QStringLiteral("email"), email}};
    if (!user) {
        entry.insert(QStringLiteral("result"), QStringLiteral("unknown user"));
        m_state.record.add(QStringLiteral("logins"), entry);
        return ApiAnswer::error(404, QStringLiteral("User with email %1 doesn't exist.").arg(email));
    }
    if (user->password != call.json.value(QStringLiteral("password")).toString()) {
        entry.insert(QStringLiteral("result"), QStringLiteral("wrong password"));
        m_state.record.add(QStringLiteral("logins"), entry);
        return ApiAnswer::error(400, QStringLiteral("Email or password is wrong."));
    }
    entry.insert(QStringLiteral("result"), QStringLiteral("ok"));
    entry.insert(QStringLiteral("userId"), user->id);
    m_state.record.add(QStringLiteral("logins"), entry);

    const TokenService::Pair tokens = m_state.tokens.issue(user->id, user->role);
    QJsonObject data = userFields(*user);
    data.remove(QStringLiteral("username"));
    data.insert(QStringLiteral("authToken"), QString::fromUtf8(tokens.authToken));
    data.insert(QStringLiteral("refreshToken"), QString::fromUtf8(tokens.refreshToken));
    const CloudStore::Company *company = m_state.store.company(user->companyId);
    data.insert(QStringLiteral("companyLogo"), company && company->logoFile >= 0
                    ? QJsonValue(m_state.files.signedLink(company->logoFile, call.origin))
                    : QJsonValue());
    return ApiAnswer::data(data);
}

ApiAnswer AccountEndpoints::refresh(const ApiCall &call)
{
    const QString problem = JsonShape().required(QStringLiteral("token"), JsonShape::String).problem(call.json);
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    int userId = 0;
    const bool redeemed = m_state.tokens.redeem(call.json.value(QStringLiteral("token")).toString().toUtf8(), &userId);
    const CloudStore::User *user = redeemed ? m_state.store.user(userId) : nullptr;
    m_state.record.add(QStringLiteral("tokenRefreshes"),
                       QJsonObject{{QStringLiteral("userId"), userId}, {QStringLiteral("ok"), user != nullptr}});
    if (!user)
        return ApiAnswer::error(401, QStringLiteral("Refresh token is invalid or expired"));
    const TokenService::Pair tokens = m_state.tokens.issue(user->id, user->role);
    return ApiAnswer::data(QJsonObject{
        {QStringLiteral("authToken"), QString::fromUtf8(tokens.authToken)},
        {QStringLiteral("refreshToken"), QString::fromUtf8(tokens.refreshToken)},
    });
}

ApiAnswer AccountEndpoints::user(const ApiCall &call)
{
    const CloudStore::User *user = m_state.store.user(call.captures.value(0).toInt());
    if (!user)
        return ApiAnswer::error(404, QStringLiteral("User not found"));
    return ApiAnswer::data(userFields(*user));
}

ApiAnswer AccountEndpoints::company(const ApiCall &call)
{
    const CloudStore::Company *company = m_state.store.company(call.captures.value(0).toInt());
    if (!company)
        return ApiAnswer::error(404, QStringLiteral("Company not found"));
    return ApiAnswer::data(QJsonObject{
        {QStringLiteral("id"), company->id},
        {QStringLiteral("title"), company->title},
        {QStringLiteral("logo"), company->logoFile >= 0 ? QJsonValue(m_state.files.signedLink(company->logoFile, call.origin))
                                                        : QJsonValue()},
    });
}
