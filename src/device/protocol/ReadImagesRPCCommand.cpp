#include "ReadImagesRPCCommand.h"

ReadImagesRPCCommand::ReadImagesRPCCommand(QObject *parent)
    : IdListRPCCommand(parent)
{
}

quint8 ReadImagesRPCCommand::commandId() const
{
    return 1;
}

QString ReadImagesRPCCommand::name() const
{
    return QStringLiteral("ReadImagesRPCCommand");
}

int ReadImagesRPCCommand::resultKey() const
{
    return ImageUuids;
}
