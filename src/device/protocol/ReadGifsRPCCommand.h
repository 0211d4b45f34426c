#pragma once

#include "IdListRPCCommand.h"

// Lists the identifiers of the GIF animations stored on the device.
class ReadGifsRPCCommand : public IdListRPCCommand
{
    Q_OBJECT

public:
    explicit ReadGifsRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
