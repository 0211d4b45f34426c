#include "DeviceEndpoints.h"

#include "ApiRouter.h"
#include "CloudState.h"
#include "JsonShape.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QVersionNumber>

namespace {

QList<qint64> ids(const QJsonValue &value)
{
    QList<qint64> list;
    for (const QJsonValue &v : value.toArray())
        list.append(static_cast<qint64>(v.toDouble()));
    return list;
}

} // namespace

DeviceEndpoints::DeviceEndpoints(CloudState &state)
    : m_state(state)
{
}

void DeviceEndpoints::addRoutes(ApiRouter &router)
{
    using A = ApiRouter::Access;
    router.add(QStringLiteral("POST"), QStringLiteral("tamo_device_usb"), A::Bearer,
               [this](ApiCall &call) { return registerDevice(call); });
    router.add(QStringLiteral("GET"), QStringLiteral("tamo_device"), A::Bearer,
               [this](ApiCall &call) { return lookUp(call); });
    router.add(QStringLiteral("PUT"), QStringLiteral("account/tamo_device/([^/]+)"), A::Bearer,
               [this](ApiCall &call) { return update(call); });
    router.add(QStringLiteral("POST"), QStringLiteral("scheduled_event/([0-9]+)/log"), A::Bearer,
               [this](ApiCall &call) { return uploadStatus(call); });
}

QJsonObject DeviceEndpoints::deviceFields(const CloudStore::Device &d)
{
    return QJsonObject{
        {QStringLiteral("id"), d.id},
        {QStringLiteral("mac"), d.mac},
        {QStringLiteral("activated"), d.activated},
        {QStringLiteral("name"), d.name},
        {QStringLiteral("label"), d.label},
        {QStringLiteral("location"), d.location},
        {QStringLiteral("brightness"), d.brightness},
        {QStringLiteral("toErase"), d.toErase},
        {QStringLiteral("userId"), d.userId == 0 ? QJsonValue() : QJsonValue(d.userId)},
        {QStringLiteral("firmwareRevision"), d.firmwareRevision},
        {QStringLiteral("hardwareRevision"), d.hardwareRevision},
        {QStringLiteral("serialNumber"), d.serialNumber},
        {QStringLiteral("mobilePlatform"), QStringLiteral("usb")},
        {QStringLiteral("mobilePlatformVersion"), d.mobilePlatformVersion},
        {QStringLiteral("lastPairedAt"), d.lastPairedAt.isValid()
             ? QJsonValue(d.lastPairedAt.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue()},
    };
}

ApiAnswer DeviceEndpoints::registerDevice(const ApiCall &call)
{
    const QString problem = JsonShape()
                                .required(QStringLiteral("uuid"), JsonShape::String)
                                .required(QStringLiteral("macAddress"), JsonShape::String)
                                .required(QStringLiteral("userId"), JsonShape::Integer)
                                .required(QStringLiteral("location"), JsonShape::String)
                                .required(QStringLiteral("fwVersion"), JsonShape::String)
                                .problem(call.json);
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    const QString mac = call.json.value(QStringLiteral("macAddress")).toString();
    if (mac.isEmpty() || call.json.value(QStringLiteral("uuid")).toString() != mac)
        return ApiAnswer::error(400, QStringLiteral("'uuid' and 'macAddress' must both hold the MAC address"));

    CloudStore::Device *device = m_state.store.device(mac);
    const bool created = device == nullptr;
    if (created)
        device = &m_state.store.addDevice(mac);
    const QString fwVersion = call.json.value(QStringLiteral("fwVersion")).toString();
    device->registeredFwVersion = fwVersion;
    if (device->location.isEmpty())
        device->location = call.json.value(QStringLiteral("location")).toString();

    QJsonObject data{
        {QStringLiteral("mac"), device->mac},
        {QStringLiteral("activated"), device->activated},
        {QStringLiteral("location"), device->location},
    };
    const CloudStore::Firmware &firmware = m_state.store.firmware;
    const bool offer = firmware.present && firmware.offerAtRegistration
        && QVersionNumber::fromString(fwVersion) < QVersionNumber::fromString(firmware.version);
    if (offer)
        data.insert(QStringLiteral("firmware"), m_state.files.signedLink(firmware.file, call.origin));

    QJsonObject entry = call.json;
    entry.insert(QStringLiteral("created"), created);
    entry.insert(QStringLiteral("activated"), device->activated);
    entry.insert(QStringLiteral("firmwareOffered"), offer);
    m_state.record.add(QStringLiteral("registrations"), entry);
    return ApiAnswer::data(data);
}

ApiAnswer DeviceEndpoints::lookUp(const ApiCall &call)
{
    const QString problem = call.expectQueryKeys({QStringLiteral("where")});
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    // The filter is written without spaces: {"mac":"<address>"}.
    static const QRegularExpression filter(QStringLiteral("^\\{\"mac\":\"([^\"\\s]*)\"\\}$"));
    const QRegularExpressionMatch match = filter.match(call.queryValue(QStringLiteral("where")));
    if (!match.hasMatch())
        return ApiAnswer::error(400, QStringLiteral("'where' must be {\"mac\":\"<address>\"} without spaces"));
    QJsonArray rows;
    if (const CloudStore::Device *device = m_state.store.device(match.captured(1)))
        rows.append(deviceFields(*device));
    return ApiAnswer::json(QJsonObject{{QStringLiteral("count"), rows.size()}, {QStringLiteral("rows"), rows}});
}

ApiAnswer DeviceEndpoints::update(const ApiCall &call)
{
    const QString problem = JsonShape()
                                .required(QStringLiteral("mac"), JsonShape::String)
                                .required(QStringLiteral("mobilePlatform"), JsonShape::String)
                                .optional(QStringLiteral("tamoId"), JsonShape::IntegerArray)
                                .optional(QStringLiteral("postId"), JsonShape::IntegerArray)
                                .optional(QStringLiteral("lastPairedAt"), JsonShape::String)
                                .optional(QStringLiteral("mobilePlatformVersion"), JsonShape::String)
                                .optional(QStringLiteral("firmwareRevision"), JsonShape::String)
                                .optional(QStringLiteral("serialNumber"), JsonShape::String)
                                .optional(QStringLiteral("name"), JsonShape::String)
                                .optional(QStringLiteral("hardwareRevision"), JsonShape::String)
                                .optional(QStringLiteral("erased"), JsonShape::Bool)
                                .problem(call.json);
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    const QJsonObject &body = call.json;
    const QString mac = call.captures.value(0);
    if (body.value(QStringLiteral("mac")).toString() != mac)
        return ApiAnswer::error(400, QStringLiteral("'mac' must be the MAC address of the path"));
    if (body.value(QStringLiteral("mobilePlatform")).toString() != QLatin1String("usb"))
        return ApiAnswer::error(400, QStringLiteral("'mobilePlatform' must be \"usb\""));
    if (body.contains(QStringLiteral("tamoId")) != body.contains(QStringLiteral("postId")))
        return ApiAnswer::error(400, QStringLiteral("'tamoId' and 'postId' come together"));
    if (body.contains(QStringLiteral("erased")) && !body.value(QStringLiteral("erased")).toBool())
        return ApiAnswer::error(400, QStringLiteral("'erased' is sent only as true"));
    for (const QString &key : {QStringLiteral("mobilePlatformVersion"), QStringLiteral("firmwareRevision"),
                               QStringLiteral("serialNumber"), QStringLiteral("name"),
                               QStringLiteral("hardwareRevision")}) {
        if (body.contains(key) && body.value(key).toString().isEmpty())
            return ApiAnswer::error(400, QStringLiteral("'%1' is sent only when not empty").arg(key));
    }
    QDateTime lastPairedAt;
    if (body.contains(QStringLiteral("lastPairedAt"))) {
        // ISO 8601 with milliseconds and a zone: the client sends UTC.
        static const QRegularExpression iso(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$"));
        const QString text = body.value(QStringLiteral("lastPairedAt")).toString();
        lastPairedAt = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!iso.match(text).hasMatch() || !lastPairedAt.isValid())
            return ApiAnswer::error(400, QStringLiteral("'lastPairedAt' must be ISO 8601 with milliseconds and a time zone"));
    }

    CloudStore::Device *device = m_state.store.device(mac);
    if (!device)
        return ApiAnswer::error(404, QStringLiteral("Device not found"));
    if (lastPairedAt.isValid())
        device->lastPairedAt = lastPairedAt;
    auto take = [&body](const QString &key, QString *field) {
        if (body.contains(key))
            *field = body.value(key).toString();
    };
    take(QStringLiteral("name"), &device->name);
    take(QStringLiteral("firmwareRevision"), &device->firmwareRevision);
    take(QStringLiteral("hardwareRevision"), &device->hardwareRevision);
    take(QStringLiteral("serialNumber"), &device->serialNumber);
    take(QStringLiteral("mobilePlatformVersion"), &device->mobilePlatformVersion);
    if (body.contains(QStringLiteral("tamoId"))) {
        device->tamoIds = ids(body.value(QStringLiteral("tamoId")));
        device->postIds = ids(body.value(QStringLiteral("postId")));
    }
    QJsonObject entry = body;
    entry.insert(QStringLiteral("pathMac"), mac);
    m_state.record.add(QStringLiteral("deviceUpdates"), entry);
    if (body.value(QStringLiteral("erased")).toBool()) {
        m_state.record.add(QStringLiteral("erasures"), QJsonObject{{QStringLiteral("mac"), device->mac},
                                                                  {QStringLiteral("wasRequested"), device->toErase}});
        device->toErase = false;
    }
    return ApiAnswer::data(deviceFields(*device));
}

ApiAnswer DeviceEndpoints::uploadStatus(const ApiCall &call)
{
    const QString problem = JsonShape()
                                .required(QStringLiteral("macAddress"), JsonShape::String)
                                .required(QStringLiteral("status"), JsonShape::String)
                                .required(QStringLiteral("errorMessage"), JsonShape::String)
                                .problem(call.json);
    if (!problem.isEmpty())
        return ApiAnswer::error(400, problem);
    const QString status = call.json.value(QStringLiteral("status")).toString();
    static const QStringList statuses{QStringLiteral("in progress"), QStringLiteral("success"),
                                      QStringLiteral("failed")};
    if (!statuses.contains(status))
        return ApiAnswer::error(400, QStringLiteral("'status' must be one of: in progress, success, failed"));
    const qint64 eventId = call.captures.value(0).toLongLong();
    CloudStore::Event *event = m_state.store.event(eventId);
    if (!event)
        return ApiAnswer::error(404, QStringLiteral("Scheduled event %1 not found").arg(eventId));
    const QString mac = call.json.value(QStringLiteral("macAddress")).toString();
    if (event->mac.compare(mac, Qt::CaseInsensitive) != 0)
        return ApiAnswer::error(400, QStringLiteral("Event %1 is not scheduled for %2").arg(eventId).arg(mac));
    if (status == QLatin1String("success"))
        event->isUploaded = true;
    QJsonObject entry = call.json;
    entry.insert(QStringLiteral("eventId"), eventId);
    m_state.record.add(QStringLiteral("uploadStatus"), entry);
    return ApiAnswer::data(QJsonObject{{QStringLiteral("id"), eventId}, {QStringLiteral("status"), status}});
}
