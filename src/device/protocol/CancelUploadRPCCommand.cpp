#include "CancelUploadRPCCommand.h"

CancelUploadRPCCommand::CancelUploadRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 CancelUploadRPCCommand::commandId() const
{
    return 18;
}

QString CancelUploadRPCCommand::name() const
{
    return QStringLiteral("CancelUploadRPCCommand");
}

QByteArray CancelUploadRPCCommand::requestPayload() const
{
    return QByteArray();
}
