#pragma once

#include <QString>
#include <QtGlobal>

// What the system needs to know about one serial port, whether the operating
// system lists it or the device simulator describes it.
struct SerialPortFacts
{
    // What QSerialPort::setPortName() takes: "ttyACM0", "COM3", or for a
    // simulated device the absolute path of its pseudo-terminal.
    QString portName;
    QString serialNumber;
    QString description;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasVendorId = false;
    bool hasProductId = false;
    bool simulated = false;

    bool isNull() const { return portName.isEmpty(); }
};
