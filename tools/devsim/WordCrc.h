#pragma once

#include <QByteArray>
#include <QtGlobal>

// The device's hardware CRC unit: CRC-32 with polynomial 0x04C11DB7 fed with
// 32-bit little-endian words (the data padded with zero bytes to whole words),
// register preset to 0xFFFFFFFF, no reflection, no final inversion.
class WordCrc
{
public:
    static quint32 of(const char *data, int size);
    static quint32 of(const QByteArray &data) { return of(data.constData(), data.size()); }
};
