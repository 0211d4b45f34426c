#pragma once

#include "RPCCommand.h"

// Sets the dimmed display level (one byte).
class SetDimLevelRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit SetDimLevelRPCCommand(int value, QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;

private:
    const int m_value;
};
