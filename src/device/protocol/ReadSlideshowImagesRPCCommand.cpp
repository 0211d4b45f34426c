#include "ReadSlideshowImagesRPCCommand.h"

ReadSlideshowImagesRPCCommand::ReadSlideshowImagesRPCCommand(QObject *parent)
    : IdListRPCCommand(parent)
{
}

quint8 ReadSlideshowImagesRPCCommand::commandId() const
{
    return 4;
}

QString ReadSlideshowImagesRPCCommand::name() const
{
    return QStringLiteral("ReadSlideshowImagesRPCCommand");
}

int ReadSlideshowImagesRPCCommand::resultKey() const
{
    return SlideshowImageUuids;
}
