#include "IdListRPCCommand.h"

#include "ContentIds.h"

IdListRPCCommand::IdListRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

QByteArray IdListRPCCommand::requestPayload() const
{
    return QByteArray();
}

void IdListRPCCommand::parsePayload(const QByteArray &payload)
{
    RPCCommand::parsePayload(payload);
    m_ids = bytesToIds(payload);
}

QVariant IdListRPCCommand::result() const
{
    return m_ids;
}
