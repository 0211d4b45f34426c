#include "GifTimeline.h"

namespace {

constexpr char kExtension = 0x21;
constexpr char kImageDescriptor = 0x2C;
constexpr unsigned char kGraphicControl = 0xF9;

class BlockCursor
{
public:
    explicit BlockCursor(const QByteArray &bytes)
        : m_bytes(bytes)
    {
    }

    bool has(int count) const { return m_at + count <= m_bytes.size(); }
    int at() const { return m_at; }
    unsigned char byte(int offset = 0) const { return static_cast<unsigned char>(m_bytes.at(m_at + offset)); }
    int le16(int offset) const { return byte(offset) | (byte(offset + 1) << 8); }
    void skip(int count) { m_at += count; }

    // A colour table follows when the flags say so: 3 × 2^(size + 1) bytes.
    void skipColourTable(unsigned char flags)
    {
        if (flags & 0x80)
            m_at += 3 * (1 << ((flags & 0x07) + 1));
    }

    // Data sub-blocks up to their zero terminator; false when the data ends first.
    bool skipSubBlocks()
    {
        while (has(1)) {
            const int length = byte();
            ++m_at;
            if (length == 0)
                return true;
            m_at += length;
        }
        return false;
    }

private:
    const QByteArray &m_bytes;
    int m_at = 0;
};

} // namespace

GifTimeline GifTimeline::read(const QByteArray &bytes, int frameLimit)
{
    GifTimeline timeline;
    if (!bytes.startsWith("GIF87a") && !bytes.startsWith("GIF89a"))
        return timeline;
    BlockCursor cursor(bytes);
    if (!cursor.has(13))
        return timeline;
    timeline.screen = QSize(cursor.le16(6), cursor.le16(8));
    const unsigned char screenFlags = cursor.byte(10);
    cursor.skip(13);
    cursor.skipColourTable(screenFlags);
    timeline.readable = true;

    int pendingDelay = 0;
    while (cursor.has(1) && timeline.delays.size() <= frameLimit) {
        const char introducer = static_cast<char>(cursor.byte());
        cursor.skip(1);
        if (introducer == kExtension) {
            if (!cursor.has(1))
                break;
            const unsigned char label = cursor.byte();
            cursor.skip(1);
            // Graphic control: size 4, flags, delay in hundredths of a second.
            if (label == kGraphicControl && cursor.has(5) && cursor.byte() >= 4)
                pendingDelay = cursor.le16(2) * 10;
            if (!cursor.skipSubBlocks())
                break;
        } else if (introducer == kImageDescriptor) {
            if (!cursor.has(9))
                break;
            const qint64 pixels = qint64(cursor.le16(4)) * cursor.le16(6);
            const unsigned char flags = cursor.byte(8);
            cursor.skip(9);
            cursor.skipColourTable(flags);
            cursor.skip(1); // LZW minimum code size
            if (!cursor.has(0) || !cursor.skipSubBlocks())
                break; // a frame cut short is not counted
            timeline.largestFramePixels = qMax(timeline.largestFramePixels, pixels);
            timeline.delays.append(pendingDelay);
            pendingDelay = 0;
        } else {
            // The trailer, or bytes that are no GIF block: the decoder stops here too.
            break;
        }
    }
    return timeline;
}

int GifTimeline::totalMs() const
{
    int total = 0;
    for (int delay : delays)
        total += delay;
    return total;
}
