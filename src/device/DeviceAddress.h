#pragma once

#include <QString>

// Whom a device job is for and where to reach it: the device's USB serial number
// (its identity on the device side), the port it is on, and its MAC (its identity
// towards the cloud, empty until it has been read).
struct DeviceAddress
{
    QString serialNumber;
    QString portName;
    QString macAddress;
};
