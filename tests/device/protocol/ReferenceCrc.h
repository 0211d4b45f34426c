#pragma once

#include <QByteArray>
#include <QtGlobal>

// An independent CRC for the tests: bitwise CRC-32/MPEG-2 over each 4-byte word
// taken most significant byte first, word after word, with zero padding. It shares
// nothing with the product's table-driven code.
inline quint32 referenceMpeg2(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint32(quint8(c)) << 24;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
    }
    return crc;
}

inline quint32 referenceWordCrc(QByteArray data)
{
    while (data.size() % 4 != 0)
        data.append('\0');
    QByteArray bigEndianWords;
    for (int i = 0; i < data.size(); i += 4)
        for (int j = 3; j >= 0; --j)
            bigEndianWords.append(data.at(i + j));
    return referenceMpeg2(bigEndianWords);
}

// An answer frame as a device sends it (the CRC is not checked on receipt, but a
// real one keeps the tests honest).
inline QByteArray answerFrame(quint8 id, qint8 status, const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(0x07));
    frame.append(char(id));
    frame.append(char(status));
    frame.append(char((payload.size() + 4) & 0xFF));
    frame.append(payload);
    const quint32 crc = referenceWordCrc(frame);
    for (int i = 0; i < 4; ++i)
        frame.append(char((crc >> (8 * i)) & 0xFF));
    return frame;
}

// A request frame built by hand: an answer frame's layout with a zero status byte.
inline QByteArray referenceFrame(quint8 id, const QByteArray &payload)
{
    return answerFrame(id, 0, payload);
}
