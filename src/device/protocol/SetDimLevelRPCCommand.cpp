#include "SetDimLevelRPCCommand.h"

SetDimLevelRPCCommand::SetDimLevelRPCCommand(int value, QObject *parent)
    : RPCCommand(parent)
    , m_value(value)
{
}

quint8 SetDimLevelRPCCommand::commandId() const
{
    return 25;
}

QString SetDimLevelRPCCommand::name() const
{
    return QStringLiteral("SetDimLevelRPCCommand");
}

QByteArray SetDimLevelRPCCommand::requestPayload() const
{
    return QByteArray(1, static_cast<char>(m_value & 0xFF));
}
