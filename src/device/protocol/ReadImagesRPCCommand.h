#pragma once

#include "IdListRPCCommand.h"

// Lists the identifiers of the still images stored on the device.
class ReadImagesRPCCommand : public IdListRPCCommand
{
    Q_OBJECT

public:
    explicit ReadImagesRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
