#pragma once

#include "ApiExchange.h"

class ApiRouter;
struct CloudState;

// "signin/", "refresh_token/", "user/<id>" and "company/<id>".
class AccountEndpoints
{
public:
    explicit AccountEndpoints(CloudState &state);
    void addRoutes(ApiRouter &router);

private:
    ApiAnswer signIn(const ApiCall &call);
    ApiAnswer refresh(const ApiCall &call);
    ApiAnswer user(const ApiCall &call);
    ApiAnswer company(const ApiCall &call);

    CloudState &m_state;
};
