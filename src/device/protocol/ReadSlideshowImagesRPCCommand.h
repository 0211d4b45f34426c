#pragma once

#include "IdListRPCCommand.h"

// Lists the identifiers of the images that slideshows refer to.
class ReadSlideshowImagesRPCCommand : public IdListRPCCommand
{
    Q_OBJECT

public:
    explicit ReadSlideshowImagesRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
