#include "ReadGifsRPCCommand.h"

ReadGifsRPCCommand::ReadGifsRPCCommand(QObject *parent)
    : IdListRPCCommand(parent)
{
}

quint8 ReadGifsRPCCommand::commandId() const
{
    return 2;
}

QString ReadGifsRPCCommand::name() const
{
    return QStringLiteral("ReadGifsRPCCommand");
}

int ReadGifsRPCCommand::resultKey() const
{
    return GifUuids;
}
