#include "ReadNameRPCCommand.h"

ReadNameRPCCommand::ReadNameRPCCommand(QObject *parent)
    : TextRPCCommand(parent)
{
}

quint8 ReadNameRPCCommand::commandId() const
{
    return 9;
}

QString ReadNameRPCCommand::name() const
{
    return QStringLiteral("ReadNameRPCCommand");
}

int ReadNameRPCCommand::resultKey() const
{
    return DeviceName;
}
