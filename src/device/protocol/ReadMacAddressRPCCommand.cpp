#include "ReadMacAddressRPCCommand.h"

#include <QStringList>

ReadMacAddressRPCCommand::ReadMacAddressRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 ReadMacAddressRPCCommand::commandId() const
{
    return 6;
}

QString ReadMacAddressRPCCommand::name() const
{
    return QStringLiteral("ReadMacAddressRPCCommand");
}

QByteArray ReadMacAddressRPCCommand::requestPayload() const
{
    return QByteArray();
}

void ReadMacAddressRPCCommand::parsePayload(const QByteArray &payload)
{
    RPCCommand::parsePayload(payload);
    QStringList pairs;
    for (int i = payload.size() - 1; i >= 0; --i)
        pairs.append(QStringLiteral("%1").arg(static_cast<quint8>(payload.at(i)), 2, 16,
                                              QLatin1Char('0')));
    m_mac = pairs.join(QLatin1Char(':'));
}

int ReadMacAddressRPCCommand::resultKey() const
{
    return MacAddress;
}

QVariant ReadMacAddressRPCCommand::result() const
{
    return m_mac;
}
