#pragma once

#include "RPCCommand.h"

// Reads the firmware version: Latin-1 text up to the first zero byte.
class ReadFwVersionRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit ReadFwVersionRPCCommand(QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    void parsePayload(const QByteArray &payload) override;
    int resultKey() const override;
    QVariant result() const override;

private:
    QVariant m_version;
};
