#include "ReadPlantNumberRPCCommand.h"

ReadPlantNumberRPCCommand::ReadPlantNumberRPCCommand(QObject *parent)
    : TextRPCCommand(parent)
{
}

quint8 ReadPlantNumberRPCCommand::commandId() const
{
    return 16;
}

QString ReadPlantNumberRPCCommand::name() const
{
    return QStringLiteral("ReadPlantNumberRPCCommand");
}

int ReadPlantNumberRPCCommand::resultKey() const
{
    return PlantNumber;
}
