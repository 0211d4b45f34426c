#pragma once

#include "RPCCommand.h"

// Deletes one stored item: the payload is its type byte and its 8-byte
// identifier. Deleting may take the device long.
class DeleteRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    DeleteRPCCommand(quint8 contentType, const QByteArray &id, QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    int timeoutMs() const override;

private:
    const QByteArray m_payload;
};
