#pragma once

#include "RPCCommand.h"

// A reading command whose answer is one number in the first payload byte, read as
// signed or unsigned. No payload, no value.
class ByteValueRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    enum Signedness { Signed, Unsigned };

    explicit ByteValueRPCCommand(Signedness signedness, QObject *parent = nullptr);

    QByteArray requestPayload() const override;
    void parsePayload(const QByteArray &payload) override;
    QVariant result() const override;

private:
    const Signedness m_signedness;
    QVariant m_value;
};
