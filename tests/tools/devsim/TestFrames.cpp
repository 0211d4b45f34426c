#include "TestFrames.h"

namespace TestFrames {

quint32 crc(const QByteArray &data)
{
    QByteArray padded = data;
    while (padded.size() % 4)
        padded.append('\0');
    quint32 reg = 0xFFFFFFFFu;
    for (int word = 0; word < padded.size(); word += 4) {
        for (int k = 3; k >= 0; --k) {
            reg ^= quint32(static_cast<quint8>(padded.at(word + k))) << 24;
            for (int bit = 0; bit < 8; ++bit)
                reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : (reg << 1);
        }
    }
    return reg;
}

QByteArray request(quint8 id, const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(0x07)).append(static_cast<char>(id)).append(char(0x00));
    frame.append(static_cast<char>(payload.size() + 4)).append(payload);
    return frame + le32(crc(frame));
}

int completeLength(const QByteArray &bytes)
{
    if (bytes.size() < 4)
        return 0;
    const int length = static_cast<quint8>(bytes.at(3)) + 4;
    return bytes.size() >= length ? length : 0;
}

Answer parse(const QByteArray &bytes)
{
    Answer answer;
    answer.raw = bytes;
    const int length = completeLength(bytes);
    if (length < 8 || bytes.at(0) != 0x07)
        return answer;
    answer.complete = true;
    answer.id = static_cast<quint8>(bytes.at(1));
    answer.status = static_cast<quint8>(bytes.at(2));
    answer.payload = bytes.mid(4, length - 8);
    answer.crcOk = bytes.mid(length - 4, 4) == le32(crc(bytes.left(length - 4)));
    return answer;
}

quint64 readLe64(const QByteArray &bytes, int at)
{
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(bytes.at(at + i));
    return value;
}

} // namespace TestFrames
