#pragma once

#include <QString>

// The cloud's addresses. Both are compiled in; TAMO_API_URL and TAMO_PORTAL_URL
// override them for a simulator, a staging service or a test. The environment is
// read on every call, so a test can point each client at its own server.
class CloudAddresses
{
public:
    static const char *const kApiBaseUrl;
    static const char *const kPortalUrl;

    // Ends in "/" so that endpoint paths can be appended directly.
    static QString apiBaseUrl();
    // The business portal, without a trailing "/".
    static QString portalUrl();

    // Logs each address that the environment sets instead of the built-in one (the
    // user part of an address left out), so that an operator sees where the
    // password goes. Programs call it once at start-up.
    static void logEnvironmentOverrides();
};
