#pragma once

#include "RPCCommand.h"

// Sets the display brightness (one byte) and tells the operator so.
class SetBrightnessRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    explicit SetBrightnessRPCCommand(int value, QObject *parent = nullptr);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    ActivityLine message(const QString &macAddress) const override;

private:
    const int m_value;
};
