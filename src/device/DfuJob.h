#pragma once

#include "DeviceAddress.h"

#include <QString>

// One device's firmware upgrade: which device, on which port, with which file.
struct DfuJob
{
    DeviceAddress device;
    QString filePath;

    bool isNull() const { return device.serialNumber.isEmpty(); }
};
