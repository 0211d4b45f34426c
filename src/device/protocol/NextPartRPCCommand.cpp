#include "NextPartRPCCommand.h"

NextPartRPCCommand::NextPartRPCCommand(const QByteArray &data, bool uploadMode,
                                       RPCCommand *asking)
    : m_data(data)
    , m_uploadMode(uploadMode)
    , m_asking(uploadMode ? nullptr : asking)
{
}

RPCCommand *NextPartRPCCommand::askingCommand() const
{
    return m_asking;
}

quint8 NextPartRPCCommand::commandId() const
{
    return 5;
}

QString NextPartRPCCommand::name() const
{
    return QStringLiteral("NextPartRPCCommand");
}

QByteArray NextPartRPCCommand::requestPayload() const
{
    return m_uploadMode ? m_data : QByteArray();
}

void NextPartRPCCommand::processResponse(const QByteArray &answer)
{
    RPCCommand::processResponse(answer);
    if (!m_asking)
        return;
    if (statusCode() == Done || statusCode() == MoreToFollow)
        m_asking->appendPart(answer);
    else
        m_asking->partFailed(statusCode(), errorString());
}

bool NextPartRPCCommand::isSuccess() const
{
    if (m_uploadMode)
        return statusCode() == Done || statusCode() == MoreToFollow;
    return statusCode() == Done;
}

bool NextPartRPCCommand::hasNextPart() const
{
    return m_uploadMode ? false : RPCCommand::hasNextPart();
}

bool NextPartRPCCommand::isUploadMode() const
{
    return m_uploadMode;
}
