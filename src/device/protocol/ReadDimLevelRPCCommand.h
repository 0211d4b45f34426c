#pragma once

#include "ByteValueRPCCommand.h"

// Reads the dimmed display level (first payload byte, signed).
class ReadDimLevelRPCCommand : public ByteValueRPCCommand
{
    Q_OBJECT

public:
    explicit ReadDimLevelRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
