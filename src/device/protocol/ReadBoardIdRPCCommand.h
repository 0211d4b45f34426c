#pragma once

#include "TextRPCCommand.h"

// Reads the identifier of the device's board.
class ReadBoardIdRPCCommand : public TextRPCCommand
{
    Q_OBJECT

public:
    explicit ReadBoardIdRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
