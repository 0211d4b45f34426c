#include "WordCrc.h"

#include <array>

namespace {

// Table for the non-reflected polynomial, one byte of the register at a time.
std::array<quint32, 256> makeTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}

} // namespace

quint32 WordCrc::of(const char *data, int size)
{
    static const std::array<quint32, 256> table = makeTable();
    quint32 crc = 0xFFFFFFFFu;
    for (int at = 0; at < size; at += 4) {
        quint32 word = 0;
        for (int k = 0; k < 4 && at + k < size; ++k)
            word |= quint32(static_cast<quint8>(data[at + k])) << (8 * k);
        crc ^= word;
        // Four byte steps equal the unit's 32 single-bit shifts.
        for (int k = 0; k < 4; ++k)
            crc = (crc << 8) ^ table[crc >> 24];
    }
    return crc;
}
