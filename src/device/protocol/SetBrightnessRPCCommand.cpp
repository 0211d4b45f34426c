#include "SetBrightnessRPCCommand.h"


namespace {
const char *const kChangedBrightness = "Changed device %1 brightnes to %2%";
}

SetBrightnessRPCCommand::SetBrightnessRPCCommand(int value, QObject *parent)
    : RPCCommand(parent)
    , m_value(value)
{
}

quint8 SetBrightnessRPCCommand::commandId() const
{
    return 21;
}

QString SetBrightnessRPCCommand::name() const
{
    return QStringLiteral("SetBrightnessRPCCommand");
}

QByteArray SetBrightnessRPCCommand::requestPayload() const
{
    return QByteArray(1, static_cast<char>(m_value & 0xFF));
}

ActivityLine SetBrightnessRPCCommand::message(const QString &macAddress) const
{
    return ActivityLine(QString::fromLatin1(kChangedBrightness), {macAddress, QString::number(m_value)});
}
