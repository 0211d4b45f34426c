#include "ReadLogRPCCommand.h"

#include "Timings.h"

#include <QStringList>

ReadLogRPCCommand::ReadLogRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 ReadLogRPCCommand::commandId() const
{
    return 12;
}

QString ReadLogRPCCommand::name() const
{
    return QStringLiteral("ReadLogRPCCommand");
}

QByteArray ReadLogRPCCommand::requestPayload() const
{
    return QByteArray();
}

void ReadLogRPCCommand::parsePayload(const QByteArray &payload)
{
    RPCCommand::parsePayload(payload);
    QStringList lines;
    const QList<QByteArray> pieces = payload.split('\0');
    for (const QByteArray &piece : pieces)
        lines.append(QString::fromUtf8(piece));
    m_lines = lines;
}

int ReadLogRPCCommand::resultKey() const
{
    return DeviceLogs;
}

QVariant ReadLogRPCCommand::result() const
{
    return m_lines;
}

int ReadLogRPCCommand::delayMs() const
{
    return Timings::ms(Timings::ReadLogDelay);
}
