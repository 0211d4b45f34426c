#include "ReadBrightnessRPCCommand.h"

ReadBrightnessRPCCommand::ReadBrightnessRPCCommand(QObject *parent)
    : ByteValueRPCCommand(ByteValueRPCCommand::Signed, parent)
{
}

quint8 ReadBrightnessRPCCommand::commandId() const
{
    return 20;
}

QString ReadBrightnessRPCCommand::name() const
{
    return QStringLiteral("ReadBrightnessRPCCommand");
}

int ReadBrightnessRPCCommand::resultKey() const
{
    return Brightness;
}
