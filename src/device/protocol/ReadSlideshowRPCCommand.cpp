#include "ReadSlideshowRPCCommand.h"

ReadSlideshowRPCCommand::ReadSlideshowRPCCommand(QObject *parent)
    : IdListRPCCommand(parent)
{
}

quint8 ReadSlideshowRPCCommand::commandId() const
{
    return 3;
}

QString ReadSlideshowRPCCommand::name() const
{
    return QStringLiteral("ReadSlideshowRPCCommand");
}

int ReadSlideshowRPCCommand::resultKey() const
{
    return SlideshowUuids;
}
