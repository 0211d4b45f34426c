#include "RPCCommand.h"

#include "CommandErrors.h"
#include "NextPartRPCCommand.h"
#include "WordCrc32.h"

#include <QtEndian>

namespace {

// Byte 3 of an answer, read as a signed byte: the answer length without the CRC.
int declaredLength(const QByteArray &answer)
{
    return static_cast<qint8>(answer.at(3));
}

QByteArray payloadOf(const QByteArray &answer)
{
    const int size = qMax(0, declaredLength(answer) - RPCCommand::kHeaderSize);
    return answer.mid(RPCCommand::kHeaderSize, size);
}

} // namespace

RPCCommand::RPCCommand(QObject *parent)
    : BaseCommand(parent)
{
    setStatus(NoAnswer);
}

RPCCommand::~RPCCommand() = default;

QByteArray RPCCommand::frame(quint8 commandId, const QByteArray &payload)
{
    QByteArray bytes;
    bytes.reserve(kHeaderSize + payload.size() + kCrcSize);
    bytes.append(kStartByte);
    bytes.append(static_cast<char>(commandId));
    bytes.append('\0');
    bytes.append(static_cast<char>((payload.size() + kHeaderSize) & 0xFF));
    bytes.append(payload);
    char crc[kCrcSize];
    qToLittleEndian(WordCrc32::compute(bytes), crc);
    bytes.append(crc, kCrcSize);
    return bytes;
}

QByteArray RPCCommand::request() const
{
    return frame(commandId(), requestPayload());
}

void RPCCommand::processResponse(const QByteArray &answer)
{
    setErrorString(QString());
    if (answer.size() <= 3) {
        setStatus(NoAnswer);
    } else if (answer.size() != declaredLength(answer) + kCrcSize
               || static_cast<quint8>(answer.at(1)) != commandId()) {
        setStatus(NoAnswer);
    } else {
        setStatus(static_cast<qint8>(answer.at(2)));
        if (statusCode() == Done || statusCode() == MoreToFollow)
            parsePayload(payloadOf(answer));
    }
    const int status = statusCode();
    if (status != Done && status != MoreToFollow) {
        const QString text = CommandErrors::rpcText(status);
        if (answer.size() > kMaxAnswerSize)
            setErrorString(CommandErrors::responseTooLong());
        else if (!text.isNull())
            setErrorString(text);
        else if (answer.size() < 8)
            setErrorString(CommandErrors::responseTooShort());
        else
            setErrorString(CommandErrors::rpcText(UnknownError));
    }
    setResponse(answer);
}

bool RPCCommand::isBusy() const
{
    return statusCode() == Busy;
}

bool RPCCommand::hasNextPart() const
{
    return statusCode() == MoreToFollow;
}

BaseCommand *RPCCommand::nextPart()
{
    if (!m_nextPartCommand)
        m_nextPartCommand = std::make_unique<NextPartRPCCommand>(QByteArray(), false, this);
    return m_nextPartCommand.get();
}

bool RPCCommand::isComplete(const QByteArray &answer) const
{
    return answer.size() > 3 && answer.size() == declaredLength(answer) + kCrcSize;
}

int RPCCommand::maxAnswerSize() const
{
    return kMaxAnswerSize;
}

int RPCCommand::maxRetries() const
{
    return 0;
}

void RPCCommand::parsePayload(const QByteArray &payload)
{
    m_payload = payload;
}

QByteArray RPCCommand::payload() const
{
    return m_payload;
}

void RPCCommand::appendPart(const QByteArray &answer)
{
    if (answer.size() < kHeaderSize)
        return;
    setStatus(static_cast<qint8>(answer.at(2)));
    setErrorString(QString());
    parsePayload(m_payload + payloadOf(answer));
}

void RPCCommand::partFailed(int status, const QString &errorText)
{
    setStatus(status);
    setErrorString(errorText);
}
