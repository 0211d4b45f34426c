#include "EraseContentRPCCommand.h"

#include "Timings.h"

EraseContentRPCCommand::EraseContentRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 EraseContentRPCCommand::commandId() const
{
    return 13;
}

QString EraseContentRPCCommand::name() const
{
    return QStringLiteral("EraseContentRPCCommand");
}

QByteArray EraseContentRPCCommand::requestPayload() const
{
    return QByteArray();
}

int EraseContentRPCCommand::timeoutMs() const
{
    return Timings::ms(Timings::EraseWait);
}

bool EraseContentRPCCommand::isSuccess() const
{
    return true;
}
