#include "CloudAddresses.h"

#include <QDebug>
#include <QUrl>
#include <QtGlobal>

// The maker's service is reached through these unless the environment says otherwise.
const char *const CloudAddresses::kApiBaseUrl = "https://api.tamo-cloud.example/api/v1/";
const char *const CloudAddresses::kPortalUrl = "https://business.tamo-cloud.example";

QString CloudAddresses::apiBaseUrl()
{
    QString url = qEnvironmentVariable("TAMO_API_URL").trimmed();
    if (url.isEmpty())
        url = QString::fromLatin1(kApiBaseUrl);
    if (!url.endsWith(QLatin1Char('/')))
        url.append(QLatin1Char('/'));
    return url;
}

QString CloudAddresses::portalUrl()
{
    QString url = qEnvironmentVariable("TAMO_PORTAL_URL").trimmed();
    if (url.isEmpty())
        url = QString::fromLatin1(kPortalUrl);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

void CloudAddresses::logEnvironmentOverrides()
{
    const auto logOne = [](const char *what, const char *variable, const QString &address) {
        if (qEnvironmentVariable(variable).trimmed().isEmpty())
            return;
        qInfo().noquote() << QStringLiteral("%1 taken from %2: %3")
                                 .arg(QLatin1String(what), QLatin1String(variable),
                                      QUrl(address).toDisplayString(QUrl::RemoveUserInfo));
    };
    logOne("Cloud API address", "TAMO_API_URL", apiBaseUrl());
    logOne("Business portal address", "TAMO_PORTAL_URL", portalUrl());
}
