#include "EndTransferCommand.h"

#include "TransferRPCCommand.h"

#include <QtEndian>

EndTransferCommand::EndTransferCommand(quint8 contentType, const QByteArray &id, quint16 value,
                                       QObject *parent)
    : BaseCommand(parent)
    , m_contentType(contentType)
    , m_id(id)
    , m_value(value)
{
}

quint8 EndTransferCommand::commandId() const
{
    return 5;
}

QString EndTransferCommand::name() const
{
    return QStringLiteral("EndTransferCommand");
}

QByteArray EndTransferCommand::requestPayload() const
{
    QByteArray payload(1, static_cast<char>(m_contentType));
    if (m_contentType == TransferRPCCommand::SlideshowContent) {
        char value[2];
        qToLittleEndian(m_value, value);
        payload.append(value, 2);
    }
    return payload;
}

int EndTransferCommand::resultKey() const
{
    switch (m_contentType) {
    case TransferRPCCommand::SlideshowContent:
        return TransferredSlideshowId;
    case TransferRPCCommand::ImageContent:
    case TransferRPCCommand::GifContent:
        return TransferredImageId;
    default:
        return NoResult;
    }
}

QVariant EndTransferCommand::result() const
{
    return resultKey() == NoResult ? QVariant() : QVariant(m_id);
}
