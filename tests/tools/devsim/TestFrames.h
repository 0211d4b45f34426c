#pragma once

#include <QByteArray>
#include <QtGlobal>

// The test's own view of the device link, written independently of both the
// simulator and the application: request frames, answer frames and the CRC
// (computed here as CRC-32/MPEG-2 over each little-endian word's bytes taken
// most significant first, a different route to the same checksum).
class TestFrames
{
public:
    struct Answer {
        bool complete = false;
        quint8 id = 0;
        quint8 status = 0;
        QByteArray payload;
        bool crcOk = false;
        QByteArray raw;
    };

    static quint32 crc(const QByteArray &data);
    static QByteArray request(quint8 id, const QByteArray &payload = QByteArray());
    static Answer parse(const QByteArray &bytes);
    // Length of the first complete answer frame in bytes, or 0 when incomplete.
    static int completeLength(const QByteArray &bytes);

    static QByteArray le16(quint16 value);
    static QByteArray le32(quint32 value);
    static QByteArray le64(quint64 value);
    static quint64 readLe64(const QByteArray &bytes, int at);
};
