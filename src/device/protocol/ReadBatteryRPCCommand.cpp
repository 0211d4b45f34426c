#include "ReadBatteryRPCCommand.h"

ReadBatteryRPCCommand::ReadBatteryRPCCommand(QObject *parent)
    : ByteValueRPCCommand(ByteValueRPCCommand::Unsigned, parent)
{
}

quint8 ReadBatteryRPCCommand::commandId() const
{
    return 32;
}

QString ReadBatteryRPCCommand::name() const
{
    return QStringLiteral("ReadBatteryRPCCommand");
}

int ReadBatteryRPCCommand::resultKey() const
{
    return Battery;
}
