#include "OpenDfuRPCCommand.h"

#include "Timings.h"

OpenDfuRPCCommand::OpenDfuRPCCommand(QObject *parent)
    : RPCCommand(parent)
{
}

quint8 OpenDfuRPCCommand::commandId() const
{
    return 31;
}

QString OpenDfuRPCCommand::name() const
{
    return QStringLiteral("OpenDfuRPCCommand");
}

QByteArray OpenDfuRPCCommand::requestPayload() const
{
    return QByteArray();
}

bool OpenDfuRPCCommand::isComplete(const QByteArray &answer) const
{
    return answer.isEmpty() || RPCCommand::isComplete(answer);
}

void OpenDfuRPCCommand::processResponse(const QByteArray &answer)
{
    if (!answer.isEmpty()) {
        RPCCommand::processResponse(answer);
        return;
    }
    setErrorString(QString());
    setStatus(Done);
    setResponse(answer);
}

int OpenDfuRPCCommand::timeoutMs() const
{
    return Timings::ms(Timings::OpenDfuWait);
}

int OpenDfuRPCCommand::delayMs() const
{
    return Timings::ms(Timings::OpenDfuDelay);
}
