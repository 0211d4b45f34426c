#include "GifWriter.h"

namespace {

void le16(QByteArray *out, int value)
{
    out->append(char(value & 0xFF));
    out->append(char((value >> 8) & 0xFF));
}

QVector<QRgb> palette()
{
    QVector<QRgb> colours;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                colours.append(qRgb(r * 51, g * 51, b * 51));
    while (colours.size() < 256)
        colours.append(qRgb(0, 0, 0));
    return colours;
}

class BitPacker
{
public:
    void put(int code)
    {
        m_bits |= quint32(code) << m_count;
        m_count += 9;
        while (m_count >= 8) {
            m_bytes.append(char(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_count > 0)
            m_bytes.append(char(m_bits & 0xFF));
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_bits = 0;
    int m_count = 0;
};

QByteArray imageData(const QImage &indexed)
{
    const int clear = 256, end = 257;
    BitPacker packer;
    int sinceClear = 0;
    packer.put(clear);
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar *line = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); ++x) {
            if (sinceClear == 250) {
                packer.put(clear);
                sinceClear = 0;
            }
            packer.put(line[x]);
            ++sinceClear;
        }
    }
    packer.put(end);
    const QByteArray lzw = packer.finish();
    QByteArray blocks(1, char(8)); // minimum code size
    for (int at = 0; at < lzw.size(); at += 255) {
        const QByteArray chunk = lzw.mid(at, 255);
        blocks.append(char(chunk.size()));
        blocks.append(chunk);
    }
    blocks.append(char(0));
    return blocks;
}

} // namespace

QByteArray GifWriter::write(const QVector<QImage> &frames, const QVector<int> &delaysMs, QSize screen)
{
    const QVector<QRgb> colours = palette();
    if (!screen.isValid())
        screen = frames.isEmpty() ? QSize(1, 1) : frames.first().size();
    QByteArray out("GIF89a");
    le16(&out, screen.width());
    le16(&out, screen.height());
    out.append(char(0xF7)); // global colour table of 256 entries
    out.append(char(0));
    out.append(char(0));
    for (QRgb colour : colours) {
        out.append(char(qRed(colour)));
        out.append(char(qGreen(colour)));
        out.append(char(qBlue(colour)));
    }
    for (int i = 0; i < frames.size(); ++i) {
        const QImage indexed = frames.at(i).convertToFormat(QImage::Format_Indexed8, colours, Qt::ThresholdDither);
        out.append("\x21\xF9\x04\x00", 4);
        le16(&out, delaysMs.value(i) / 10);
        out.append("\x00\x00", 2);
        out.append(char(0x2C));
        le16(&out, 0);
        le16(&out, 0);
        le16(&out, indexed.width());
        le16(&out, indexed.height());
        out.append(char(0));
        out.append(imageData(indexed));
    }
    out.append(char(0x3B));
    return out;
}

QByteArray GifWriter::tiny(int count, int delayMs, QSize screen)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    return write(QVector<QImage>(count, pixel), QVector<int>(count, delayMs), screen);
}
