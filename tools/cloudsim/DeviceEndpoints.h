#pragma once

#include <QJsonObject>

#include "ApiExchange.h"
#include "CloudStore.h"

class ApiRouter;
struct CloudState;

// "tamo_device_usb" (registration), "tamo_device?where=" (lookup by MAC),
// "account/tamo_device/<mac>" (update, erase confirmation) and
// "scheduled_event/<id>/log" (upload status).
class DeviceEndpoints
{
public:
    explicit DeviceEndpoints(CloudState &state);
    void addRoutes(ApiRouter &router);

    static QJsonObject deviceFields(const CloudStore::Device &device);

private:
    ApiAnswer registerDevice(const ApiCall &call);
    ApiAnswer lookUp(const ApiCall &call);
    ApiAnswer update(const ApiCall &call);
    ApiAnswer uploadStatus(const ApiCall &call);

    CloudState &m_state;
};
