#pragma once

#include "TextRPCCommand.h"

// Reads the serial number the device keeps in its configuration.
class ReadDeviceSerialRPCCommand : public TextRPCCommand
{
    Q_OBJECT

public:
    explicit ReadDeviceSerialRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    int resultKey() const override;
};
