#pragma once

#include "RPCCommand.h"

// Makes the device drop a transfer that is under way.
class CancelUploadRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit CancelUploadRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
};
