#pragma once

#include "ByteValueRPCCommand.h"

// Reads how many content slots are free (first payload byte, signed).
class FreeSlotsRPCCommand : public ByteValueRPCCommand
{
    Q_OBJECT

public:
    explicit FreeSlotsRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
