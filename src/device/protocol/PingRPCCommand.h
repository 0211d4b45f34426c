#pragma once

#include "RPCCommand.h"

// Asks whether the device is there and whether it is still busy.
class PingRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit PingRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    int delayMs() const override;
};
