#pragma once

#include <QString>

// One device's firmware upgrade: which device, on which port, with which file.
struct DfuJob
{
    QString macAddress;
    QString portName;
    QString serialNumber;
    QString filePath;

    bool isNull() const { return serialNumber.isEmpty(); }
};
