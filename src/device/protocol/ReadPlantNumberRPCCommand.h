#pragma once

#include "TextRPCCommand.h"

// Reads the number of the plant that built the device.
class ReadPlantNumberRPCCommand : public TextRPCCommand
{
    Q_OBJECT

public:
    explicit ReadPlantNumberRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
