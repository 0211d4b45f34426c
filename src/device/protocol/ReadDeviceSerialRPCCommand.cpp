#include "ReadDeviceSerialRPCCommand.h"

ReadDeviceSerialRPCCommand::ReadDeviceSerialRPCCommand(QObject *parent)
    : TextRPCCommand(parent)
{
}

quint8 ReadDeviceSerialRPCCommand::commandId() const
{
    return 15;
}

QString ReadDeviceSerialRPCCommand::name() const
{
    return QStringLiteral("ReadDeviceSerialRPCCommand");
}

int ReadDeviceSerialRPCCommand::resultKey() const
{
    return DeviceSerial;
}
