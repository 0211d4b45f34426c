#include "DeleteRPCCommand.h"

#include "Timings.h"

DeleteRPCCommand::DeleteRPCCommand(quint8 contentType, const QByteArray &id, QObject *parent)
    : RPCCommand(parent)
    , m_payload(QByteArray(1, static_cast<char>(contentType)) + id)
{
}

quint8 DeleteRPCCommand::commandId() const
{
    return 7;
}

QString DeleteRPCCommand::name() const
{
    return QStringLiteral("DeleteRPCCommand");
}

QByteArray DeleteRPCCommand::requestPayload() const
{
    return m_payload;
}

int DeleteRPCCommand::timeoutMs() const
{
    return Timings::ms(Timings::DeleteWait);
}
