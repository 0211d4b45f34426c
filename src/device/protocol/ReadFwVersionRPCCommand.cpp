#include "ReadFwVersionRPCCommand.h"

ReadFwVersionRPCCommand::ReadFwVersionRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 ReadFwVersionRPCCommand::commandId() const
{
    return 10;
}

QString ReadFwVersionRPCCommand::name() const
{
    return QStringLiteral("ReadFwVersionRPCCommand");
}

QByteArray ReadFwVersionRPCCommand::requestPayload() const
{
    return QByteArray();
}

void ReadFwVersionRPCCommand::parsePayload(const QByteArray &payload)
{
    RPCCommand::parsePayload(payload);
    const int zero = payload.indexOf('\0');
    m_version = QString::fromLatin1(zero < 0 ? payload : payload.left(zero));
}

int ReadFwVersionRPCCommand::resultKey() const
{
    return FwVersion;
}

QVariant ReadFwVersionRPCCommand::result() const
{
    return m_version;
}
