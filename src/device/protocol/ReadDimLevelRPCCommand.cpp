#include "ReadDimLevelRPCCommand.h"

ReadDimLevelRPCCommand::ReadDimLevelRPCCommand(QObject *parent)
    : ByteValueRPCCommand(ByteValueRPCCommand::Signed, parent)
{
}

quint8 ReadDimLevelRPCCommand::commandId() const
{
    return 24;
}

QString ReadDimLevelRPCCommand::name() const
{
    return QStringLiteral("ReadDimLevelRPCCommand");
}

int ReadDimLevelRPCCommand::resultKey() const
{
    return DimLevel;
}
