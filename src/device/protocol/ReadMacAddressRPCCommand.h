#pragma once

#include "RPCCommand.h"

// Reads the device's MAC address. The device sends the bytes least significant
// first; the text shows them the other way round, as lower-case hex pairs joined
// by ':'.
class ReadMacAddressRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit ReadMacAddressRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    void parsePayload(const QByteArray &payload) override;
    int resultKey() const override;
    QVariant result() const override;

private:
    QVariant m_mac;
};
