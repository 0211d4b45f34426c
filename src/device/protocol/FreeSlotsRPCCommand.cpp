#include "FreeSlotsRPCCommand.h"

FreeSlotsRPCCommand::FreeSlotsRPCCommand(QObject *parent)
    : ByteValueRPCCommand(ByteValueRPCCommand::Signed, parent)
{
}

quint8 FreeSlotsRPCCommand::commandId() const
{
    return 11;
}

QString FreeSlotsRPCCommand::name() const
{
    return QStringLiteral("FreeSlotsRPCCommand");
}

int FreeSlotsRPCCommand::resultKey() const
{
    return FreeSlots;
}
