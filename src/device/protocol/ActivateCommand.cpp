#include "ActivateCommand.h"

ActivateCommand::ActivateCommand(const QByteArray &contentId, QObject *parent)
    : RPCCommand(parent)
    , m_contentId(contentId)
{
}

quint8 ActivateCommand::commandId() const
{
    return 8;
}

QString ActivateCommand::name() const
{
    return QStringLiteral("ActivateCommand");
}

QByteArray ActivateCommand::requestPayload() const
{
    return m_contentId;
}
