#include "PingRPCCommand.h"

#include "Timings.h"

PingRPCCommand::PingRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 PingRPCCommand::commandId() const
{
    return 0;
}

QString PingRPCCommand::name() const
{
    return QStringLiteral("PingRPCCommand");
}

QByteArray PingRPCCommand::requestPayload() const
{
    return QByteArray();
}

int PingRPCCommand::delayMs() const
{
    return Timings::ms(Timings::PingDelay);
}
