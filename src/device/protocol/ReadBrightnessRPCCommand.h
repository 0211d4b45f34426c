#pragma once

#include "ByteValueRPCCommand.h"

// Reads the display brightness (first payload byte, signed).
class ReadBrightnessRPCCommand : public ByteValueRPCCommand
{
    Q_OBJECT

public:
    explicit ReadBrightnessRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
