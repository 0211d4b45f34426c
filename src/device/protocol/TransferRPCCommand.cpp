#include "TransferRPCCommand.h"

#include <QtEndian>

#include <cmath>

namespace {

template<typename T>
void appendLittleEndian(QByteArray &bytes, T value)
{
    char buffer[sizeof(T)];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, int(sizeof(T)));
}

} // namespace

TransferRPCCommand::TransferRPCCommand(const QByteArray &header, int resultKey,
                                       const QByteArray &resultValue, QObject *parent)
    : RPCCommand(parent)
    , m_header(header)
    , m_resultKey(resultKey)
    , m_resultValue(resultValue)
{
}

QByteArray TransferRPCCommand::imageHeader(const QByteArray &id, quint32 dataSize,
                                           quint16 duration)
{
    QByteArray header = id;
    appendLittleEndian(header, dataSize);
    header.append(static_cast<char>(ImageContent));
    if (duration != 0)
        appendLittleEndian(header, duration);
    return header;
}

QByteArray TransferRPCCommand::gifHeader(const QByteArray &id, quint32 frameCount)
{
    QByteArray header = id;
    appendLittleEndian(header, frameCount);
    header.append(static_cast<char>(GifContent));
    return header;
}

QByteArray TransferRPCCommand::slideshowHeader(const QByteArray &id, quint16 imageCount,
                                               quint16 interval)
{
    QByteArray header = id;
    appendLittleEndian(header, imageCount);
    appendLittleEndian(header, interval);
    header.append(static_cast<char>(SlideshowContent));
    return header;
}

quint16 TransferRPCCommand::frameDuration(int delayMs)
{
    const long tens = std::lround(delayMs / 10.0);
    return static_cast<quint16>(qBound(0L, tens, 0xFFFFL));
}

quint8 TransferRPCCommand::commandId() const
{
    return 30;
}

QString TransferRPCCommand::name() const
{
    return QStringLiteral("TransferRPCCommand");
}

QByteArray TransferRPCCommand::requestPayload() const
{
    return m_header;
}

bool TransferRPCCommand::isSuccess() const
{
    return statusCode() == Done || statusCode() == MoreToFollow;
}

bool TransferRPCCommand::hasNextPart() const
{
    return false;
}

int TransferRPCCommand::resultKey() const
{
    return m_resultKey;
}

QVariant TransferRPCCommand::result() const
{
    return m_resultKey == NoResult ? QVariant() : QVariant(m_resultValue);
}
