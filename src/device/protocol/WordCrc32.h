#pragma once

#include <QByteArray>
#include <QtGlobal>

// The CRC of the device's microcontroller CRC unit: polynomial 0x04C11DB7 fed one
// 32-bit little-endian word at a time, register preset to 0xFFFFFFFF, no final
// inversion. Data whose length is not a multiple of four is padded with zero bytes.
class WordCrc32
{
public:
    static quint32 compute(const QByteArray &data);
};
