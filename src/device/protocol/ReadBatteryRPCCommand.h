#pragma once

#include "ByteValueRPCCommand.h"

// Reads the battery level (first payload byte, 0 to 255).
class ReadBatteryRPCCommand : public ByteValueRPCCommand
{
    Q_OBJECT

public:
    explicit ReadBatteryRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
