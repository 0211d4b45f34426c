#include "SetChargingDisplayRPCCommand.h"

SetChargingDisplayRPCCommand::SetChargingDisplayRPCCommand(const QByteArray &first,
                                                           const QByteArray &second,
                                                           QObject *parent)
    : RPCCommand(parent)
    , m_payload(first + second)
{
}

quint8 SetChargingDisplayRPCCommand::commandId() const
{
    return 19;
}

QString SetChargingDisplayRPCCommand::name() const
{
    return QStringLiteral("SetChargingDisplayRPCCommand");
}

QByteArray SetChargingDisplayRPCCommand::requestPayload() const
{
    return m_payload;
}
