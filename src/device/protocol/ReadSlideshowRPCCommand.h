#pragma once

#include "IdListRPCCommand.h"

// Lists the identifiers of the slideshows stored on the device.
class ReadSlideshowRPCCommand : public IdListRPCCommand
{
    Q_OBJECT

public:
    explicit ReadSlideshowRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
