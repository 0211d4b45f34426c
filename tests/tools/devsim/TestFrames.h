#pragma once

#include <QByteArray>
#include <QtGlobal>

// The test's own view of the device link, written independently of both the
// simulator and the application: request frames, answer frames and the CRC
// (computed here as CRC-32/MPEG-2 over each little-endian word's bytes taken
// most significant first, a different route to the same checksum).
namespace TestFrames {

struct Answer {
    bool complete = false;
    quint8 id = 0;
    quint8 status = 0;
    QByteArray payload;
    bool crcOk = false;
    QByteArray raw;
};

quint32 crc(const QByteArray &data);
QByteArray request(quint8 id, const QByteArray &payload = QByteArray());
Answer parse(const QByteArray &bytes);
// Length of the first complete answer frame in bytes, or 0 when incomplete.
int completeLength(const QByteArray &bytes);

// Little-endian bytes of a value of 1, 2, 4 or 8 bytes.
template <typename T>
QByteArray le(T value)
{
    QByteArray out;
    for (unsigned i = 0; i < sizeof(T); ++i)
        out.append(static_cast<char>((quint64(value) >> (8 * i)) & 0xFF));
    return out;
}
inline QByteArray le16(quint16 value) { return le(value); }
inline QByteArray le32(quint32 value) { return le(value); }
inline QByteArray le64(quint64 value) { return le(value); }
quint64 readLe64(const QByteArray &bytes, int at);

} // namespace TestFrames
