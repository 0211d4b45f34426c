#include "WordCrc32.h"

#include <array>

namespace {

constexpr quint32 kPolynomial = 0x04C11DB7u;

// One table step shifts eight bits out of the register at once; four steps make
// the 32 single-bit shifts of one word.
constexpr std::array<quint32, 256> makeTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<quint32, 256> kTable = makeTable();

} // namespace

quint32 WordCrc32::compute(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    const int size = data.size();
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    for (int offset = 0; offset < size; offset += 4) {
        quint32 word = 0;
        for (int i = 0; i < 4 && offset + i < size; ++i)
            word |= quint32(bytes[offset + i]) << (8 * i);
        crc ^= word;
        for (int step = 0; step < 4; ++step)
            crc = (crc << 8) ^ kTable[crc >> 24];
    }
    return crc;
}
