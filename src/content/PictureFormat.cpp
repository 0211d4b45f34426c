#include "PictureFormat.h"

#include <QImageReader>
#include <QList>

namespace {

struct Signature {
    const char *name;
    const char *decoder; // nullptr: the product decodes no such file
    bool (*matches)(const QByteArray &bytes);
};

bool at(const QByteArray &bytes, int offset, const char *text, int length)
{
    return bytes.size() >= offset + length && bytes.mid(offset, length) == QByteArray::fromRawData(text, length);
}

// ISO base media files (HEIF, AVIF) name their brands in the leading "ftyp"
// box: the major brand, then compatible ones.
bool hasBrand(const QByteArray &bytes, const char *brand)
{
    if (!at(bytes, 4, "ftyp", 4))
        return false;
    const quint32 boxSize = quint32(quint8(bytes.at(0))) << 24 | quint32(quint8(bytes.at(1))) << 16
        | quint32(quint8(bytes.at(2))) << 8 | quint8(bytes.at(3));
    const int boxEnd = int(qMin<quint32>(quint32(bytes.size()), boxSize));
    for (int offset = 8; offset + 4 <= boxEnd; offset += offset == 8 ? 8 : 4) // skips the minor version
        if (at(bytes, offset, brand, 4))
            return true;
    return false;
}

bool isAvif(const QByteArray &bytes)
{
    return hasBrand(bytes, "avif") || hasBrand(bytes, "avis");
}

bool isHeif(const QByteArray &bytes)
{
    for (const char *brand : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"})
        if (hasBrand(bytes, brand))
            return true;
    return false;
}

bool isSvg(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(1024).trimmed();
    return head.startsWith("<svg") || (head.startsWith("<?xml") && head.contains("<svg"));
}

// Order matters where signatures overlap: AVIF files carry HEIF's brands too.
const Signature kSignatures[] = {
    {"JPEG", "jpeg", [](const QByteArray &b) { return at(b, 0, "\xFF\xD8\xFF", 3); }},
    {"PNG", "png", [](const QByteArray &b) { return at(b, 0, "\x89PNG\r\n\x1A\n", 8); }},
    {"GIF", "gif", [](const QByteArray &b) { return at(b, 0, "GIF87a", 6) || at(b, 0, "GIF89a", 6); }},
    {"WebP", "webp", [](const QByteArray &b) { return at(b, 0, "RIFF", 4) && at(b, 8, "WEBP", 4); }},
    {"TIFF", "tiff", [](const QByteArray &b) { return at(b, 0, "II*\0", 4) || at(b, 0, "MM\0*", 4); }},
    {"BMP", "bmp", [](const QByteArray &b) { return at(b, 0, "BM", 2) && b.size() >= 26; }},
    {"AVIF", nullptr, isAvif},
    {"HEIF", nullptr, isHeif},
    {"JPEG XL", nullptr,
     [](const QByteArray &b) { return at(b, 0, "\xFF\x0A", 2) || at(b, 0, "\0\0\0\x0CJXL \r\n\x87\n", 12); }},
    {"JPEG 2000", nullptr,
     [](const QByteArray &b) { return at(b, 0, "\0\0\0\x0CjP  \r\n\x87\n", 12) || at(b, 0, "\xFF\x4F\xFF\x51", 4); }},
    {"Photoshop", nullptr, [](const QByteArray &b) { return at(b, 0, "8BPS", 4); }},
    {"PDF", nullptr, [](const QByteArray &b) { return at(b, 0, "%PDF", 4); }},
    {"SVG", nullptr, isSvg},
};

bool installed(const char *decoder)
{
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains(QByteArray(decoder));
}

} // namespace

PictureFormat PictureFormat::of(const QByteArray &bytes)
{
    for (const Signature &signature : kSignatures) {
        if (!signature.matches(bytes))
            continue;
        PictureFormat format;
        format.name = QString::fromLatin1(signature.name);
        if (signature.decoder && installed(signature.decoder))
            format.decoder = signature.decoder;
        return format;
    }
    return PictureFormat();
}
