#pragma once

#include "RPCCommand.h"

// Chooses what the device shows while it charges: the payload is the first byte
// array followed by the second (two 8-byte content identifiers, built by the
// caller).
class SetChargingDisplayRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    SetChargingDisplayRPCCommand(const QByteArray &first, const QByteArray &second,
                                 QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;

private:
    const QByteArray m_payload;
};
