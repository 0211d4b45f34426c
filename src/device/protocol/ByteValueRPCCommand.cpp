#include "ByteValueRPCCommand.h"

ByteValueRPCCommand::ByteValueRPCCommand(Signedness signedness, QObject *parent)
    : RPCCommand(parent)
    , m_signedness(signedness)
{
}

QByteArray ByteValueRPCCommand::requestPayload() const
{
    return QByteArray();
}

void ByteValueRPCCommand::parsePayload(const QByteArray &payload)
{
    RPCCommand::parsePayload(payload);
    if (payload.isEmpty())
        m_value = QVariant();
    else if (m_signedness == Signed)
        m_value = int(static_cast<qint8>(payload.at(0)));
    else
        m_value = int(static_cast<quint8>(payload.at(0)));
}

QVariant ByteValueRPCCommand::result() const
{
    return m_value;
}
