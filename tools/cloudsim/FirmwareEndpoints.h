#pragma once

#include "ApiExchange.h"

class ApiRouter;
struct CloudState;

// "setting/platform" (minimum firmware version), "tamo_device_usb/upgrade"
// (the DFU file, no login needed) and "installation?type=" (installer list).
class FirmwareEndpoints
{
public:
    explicit FirmwareEndpoints(CloudState &state);
    void addRoutes(ApiRouter &router);

private:
    ApiAnswer platform(const ApiCall &call);
    ApiAnswer upgrade(const ApiCall &call);
    ApiAnswer installations(const ApiCall &call);

    CloudState &m_state;
};
