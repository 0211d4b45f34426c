#pragma once

#include "RPCCommand.h"

// Makes the device tidy its content store; may take long.
class CleanUpRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit CleanUpRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    int timeoutMs() const override;
};
