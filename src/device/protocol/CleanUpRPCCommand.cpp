#include "CleanUpRPCCommand.h"

#include "Timings.h"

CleanUpRPCCommand::CleanUpRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 CleanUpRPCCommand::commandId() const
{
    return 17;
}

QString CleanUpRPCCommand::name() const
{
    return QStringLiteral("CleanUpRPCCommand");
}

QByteArray CleanUpRPCCommand::requestPayload() const
{
    return QByteArray();
}

int CleanUpRPCCommand::timeoutMs() const
{
    return Timings::ms(Timings::CleanUpWait);
}
