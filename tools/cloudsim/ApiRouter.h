#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>

#include <functional>

#include "ApiExchange.h"

class TokenService;

// The API's routes and the checks every call passes before its handler runs,
// in this order: known path (404), method (405), "Content-Type" exactly
// "application/json" (415), the bearer token where needed or its absence where
// the call takes none (401 / 400), then no body on a GET or an indented JSON
// object with sorted keys on a POST or PUT (400).
class ApiRouter
{
public:
    enum class Access { Public, Bearer };
    using Handler = std::function<ApiAnswer(ApiCall &)>;

    explicit ApiRouter(const TokenService &tokens);

    // pattern: an anchored regular expression over the path below the API base.
    void add(const QString &method, const QString &pattern, Access access, Handler handler);

    ApiAnswer dispatch(ApiCall &call) const;

private:
    struct Route {
        QString method;
        QRegularExpression pattern;
        Access access;
        Handler handler;
    };
    ApiAnswer checkAuthorization(const Route &route, ApiCall &call) const;
    static ApiAnswer checkBody(ApiCall &call);

    const TokenService &m_tokens;
    QList<Route> m_routes;
};
