#include "FirmwareEndpoints.h"

#include "ApiRouter.h"
#include "CloudState.h"

#include <QJsonArray>

FirmwareEndpoints::FirmwareEndpoints(CloudState &state)
    : m_state(state)
{
}

void FirmwareEndpoints::addRoutes(ApiRouter &router)
{
    using A = ApiRouter::Access;
    router.add(QStringLiteral("GET"), QStringLiteral("setting/platform"), A::Bearer,
               [this](ApiCall &call) { return platform(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("tamo_device_usb/upgrade"), A::Public,
               [this](ApiCall &call) { return upgrade(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("installation"), A::Bearer,
               [this](ApiCall &call) { return installations(call); });
}

ApiAnswer FirmwareEndpoints::platform(const ApiCall &call)
{
    if (!call.query.isEmpty())
        return ApiAnswer::error(400, QStringLiteral("This call takes no query"));
    return ApiAnswer::data(QJsonObject{{QStringLiteral("minFWVersion"), m_state.store.minFwVersion}});
}

ApiAnswer FirmwareEndpoints::upgrade(const ApiCall &call)
{
    if (!call.query.isEmpty())
        return ApiAnswer::error(400, QStringLiteral("This call takes no query"));
    const CloudStore::Firmware &firmware = m_state.store.firmware;
    if (!firmware.present)
        return ApiAnswer::data(QJsonObject());
    QJsonObject file = m_state.files.signedLink(firmware.file, call.origin);
    file.insert(QStringLiteral("version"), firmware.version);
    return ApiAnswer::data(QJsonObject{{QStringLiteral("firmware"), file}});
}

ApiAnswer FirmwareEndpoints::installations(const ApiCall &call)
{
    const QString problem = call.expectQueryKeys({QStringLiteral("type")});
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    const QString type = call.queryValue(QStringLiteral("type"));
    static const QStringList types{QStringLiteral("pc"), QStringLiteral("mac"), QStringLiteral("upgrate tool"),
                                   QStringLiteral("dfu")};
    if (!types.contains(type))
        return ApiAnswer::error(400, QStringLiteral("Unknown installation type '%1'").arg(type));
    QJsonArray list;
    for (const CloudStore::Installation &installation : m_state.store.installations) {
        if (installation.type != type)
            continue;
        list.append(QJsonObject{
            {QStringLiteral("id"), installation.id},
            {QStringLiteral("type"), installation.type},
            {QStringLiteral("name"), installation.name},
            {QStringLiteral("active"), installation.active},
            {QStringLiteral("link"), m_state.files.signedLink(installation.file, call.origin)},
        });
    }
    return ApiAnswer::data(list);
}
