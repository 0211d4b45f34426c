#include "ApiRouter.h"

#include "TokenService.h"

#include <QJsonDocument>

ApiRouter::ApiRouter(const TokenService &tokens)
    : m_tokens(tokens)
{
}

void ApiRouter::add(const QString &method, const QString &pattern, Access access, Handler handler)
{
    m_routes.append({method, QRegularExpression(QRegularExpression::anchoredPattern(pattern)), access,
                     std::move(handler)});
}

ApiAnswer ApiRouter::checkAuthorization(const Route &route, ApiCall &call) const
{
    const QString value = call.header(QStringLiteral("Authorization"));
    if (route.access == Access::Public) {
        if (call.hasHeader(QStringLiteral("Authorization")))
            return ApiAnswer::error(400, QStringLiteral("This call takes no Authorization header"));
        return ApiAnswer();
    }
    static const QRegularExpression bearer(QStringLiteral("^Bearer ([^ ]+)$"));
    const QRegularExpressionMatch match = bearer.match(value);
    if (!match.hasMatch())
        return ApiAnswer::error(401, QStringLiteral("Authorization required"));
    int userId = 0;
    switch (m_tokens.verify(match.captured(1).toUtf8(), &userId)) {
    case TokenService::Verdict::Valid:
        call.userId = userId;
        return ApiAnswer();
    case TokenService::Verdict::Expired:
        return ApiAnswer::error(401, QStringLiteral("Token expired"));
    case TokenService::Verdict::Invalid:
        break;
    }
    return ApiAnswer::error(401, QStringLiteral("Invalid token"));
}

ApiAnswer ApiRouter::checkBody(ApiCall &call)
{
    if (call.method == QLatin1String("GET") || call.method == QLatin1String("DELETE")) {
        if (!call.body.isEmpty())
            return ApiAnswer::error(400, QStringLiteral("A %1 carries no body").arg(call.method));
        return ApiAnswer();
    }
    if (call.body.isEmpty())
        return ApiAnswer::error(400, QStringLiteral("Missing JSON body"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(call.body, &error);
    if (!document.isObject())
        return ApiAnswer::error(400, QStringLiteral("The body is not a JSON object"));
    // Clients serialise bodies in the indented form, keys sorted; anything
    // else means a different serialiser is at work.
    if (document.toJson(QJsonDocument::Indented) != call.body)
        return ApiAnswer::error(400, QStringLiteral("The body is not in the indented JSON form with sorted keys"));
    call.json = document.object();
    return ApiAnswer();
}

ApiAnswer ApiRouter::dispatch(ApiCall &call) const
{
    QStringList allowed;
    const Route *chosen = nullptr;
    QRegularExpressionMatch chosenMatch;
    for (const Route &route : m_routes) {
        const QRegularExpressionMatch match = route.pattern.match(call.path);
        if (!match.hasMatch())
            continue;
        allowed.append(route.method);
        if (route.method == call.method && !chosen) {
            chosen = &route;
            chosenMatch = match;
        }
    }
    if (allowed.isEmpty())
        return ApiAnswer::error(404, QStringLiteral("Not found: %1").arg(call.path));
    if (!chosen) {
        ApiAnswer answer = ApiAnswer::error(405, QStringLiteral("Method %1 not allowed here").arg(call.method));
        answer.headers.append(qMakePair(QByteArray("Allow"), allowed.join(QStringLiteral(", ")).toLatin1()));
        return answer;
    }
    if (call.header(QStringLiteral("Content-Type")) != QLatin1String("application/json"))
        return ApiAnswer::error(415, QStringLiteral("Content-Type must be application/json"));
    ApiAnswer refusal = checkAuthorization(*chosen, call);
    if (refusal.status != 200)
        return refusal;
    refusal = checkBody(call);
    if (refusal.status != 200)
        return refusal;
    call.captures = chosenMatch.capturedTexts().mid(1);
    return chosen->handler(call);
}
