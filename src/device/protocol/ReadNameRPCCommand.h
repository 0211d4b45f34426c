#pragma once

#include "TextRPCCommand.h"

// Reads the device's name.
class ReadNameRPCCommand : public TextRPCCommand
{
    Q_OBJECT

public:
    explicit ReadNameRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
