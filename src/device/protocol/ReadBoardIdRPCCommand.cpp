#include "ReadBoardIdRPCCommand.h"

ReadBoardIdRPCCommand::ReadBoardIdRPCCommand(QObject *parent)
    : TextRPCCommand(parent)
{
}

quint8 ReadBoardIdRPCCommand::commandId() const
{
    return 14;
}

QString ReadBoardIdRPCCommand::name() const
{
    return QStringLiteral("ReadBoardIdRPCCommand");
}

int ReadBoardIdRPCCommand::resultKey() const
{
    return BoardId;
}
