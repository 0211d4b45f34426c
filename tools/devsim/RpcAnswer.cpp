#include "RpcAnswer.h"

#include "WordCrc.h"

#include <QtEndian>

QByteArray RpcAnswer::encode() const
{
    const QByteArray body = payload.left(kMaxPayload);
    QByteArray frame;
    frame.reserve(body.size() + 8);
    frame.append(char(0x07));
    frame.append(static_cast<char>(id));
    frame.append(static_cast<char>(status));
    frame.append(static_cast<char>(body.size() + 4));
    frame.append(body);
    char crc[4];
    qToLittleEndian(WordCrc::of(frame), crc);
    frame.append(crc, 4);
    return frame;
}
