#include "DfuFileInspector.h"

#include <QFile>
#include <QtEndian>

#include <array>

namespace {

constexpr qint64 kSuffixLength = 16;
constexpr quint16 kDfuSeVersion = 0x011A;
constexpr quint16 kVendor = 0x0483;
constexpr quint16 kAnyId = 0xFFFF;
constexpr qint64 kPrefixLength = 11;
constexpr qint64 kTargetPrefixLength = 274;
constexpr qint64 kElementHeaderLength = 8;

// The suffix's checksum: the reflected CRC-32 (polynomial 0xEDB88320) started
// at all ones and, unlike zlib's, not inverted at the end.
constexpr std::array<quint32, 256> crcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        table[i] = c;
    }
    return table;
}

quint32 suffixCrc(const char *data, qint64 size)
{
    static constexpr std::array<quint32, 256> table = crcTable();
    quint32 crc = 0xFFFFFFFFu;
    for (qint64 i = 0; i < size; ++i)
        crc = table[(crc ^ static_cast<quint8>(data[i])) & 0xFFu] ^ (crc >> 8);
    return crc;
}

quint32 le32(const QByteArray &in, qint64 at)
{
    return qFromLittleEndian<quint32>(in.constData() + at);
}

quint16 le16(const QByteArray &in, qint64 at)
{
    return qFromLittleEndian<quint16>(in.constData() + at);
}

QString hex4(quint16 value)
{
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

// The suffix; on success *imageLength is the length of what precedes it.
QString problemWithSuffix(const QByteArray &file, qint64 *imageLength)
{
    const qint64 size = file.size();
    if (size < kSuffixLength)
        return QStringLiteral("it is too short to be a DFU file (%1 bytes)").arg(size);
    const qint64 at = size - kSuffixLength;
    if (file.mid(static_cast<int>(at + 8), 3) != "UFD")
        return QStringLiteral("it has no DFU suffix");
    if (le32(file, size - 4) != suffixCrc(file.constData(), size - 4))
        return QStringLiteral("its checksum does not match: the file is damaged or incomplete");
    const qint64 suffixLength = static_cast<quint8>(file.at(static_cast<int>(at + 11)));
    if (suffixLength < kSuffixLength || suffixLength > size)
        return QStringLiteral("its DFU suffix gives an impossible length (%1 bytes)").arg(suffixLength);
    const quint16 vendor = le16(file, at + 4);
    if (vendor != kVendor && vendor != kAnyId)
        return QStringLiteral("it is made for another maker's devices (vendor %1)").arg(hex4(vendor));
    const quint16 version = le16(file, at + 6);
    if (version != kDfuSeVersion)
        return QStringLiteral("it is not a DfuSe file (DFU version %1)").arg(hex4(version));
    *imageLength = size - suffixLength;
    return QString();
}

// One target at *offset, which moves past it; *bytes grows by its elements' bytes.
QString problemWithTarget(const QByteArray &file, qint64 imageLength, int number, qint64 *offset, qint64 *bytes)
{
    if (*offset + kTargetPrefixLength > imageLength)
        return QStringLiteral("target %1 is cut off").arg(number);
    if (file.mid(static_cast<int>(*offset), 6) != "Target")
        return QStringLiteral("target %1 has no target signature").arg(number);
    const qint64 targetSize = le32(file, *offset + 266);
    const quint32 elements = le32(file, *offset + 270);
    const qint64 start = *offset + kTargetPrefixLength;
    if (targetSize > imageLength - start)
        return QStringLiteral("target %1 gives %2 bytes, more than the file holds").arg(number).arg(targetSize);
    const qint64 end = start + targetSize;
    qint64 at = start;
    for (quint32 e = 1; e <= elements; ++e) {
        if (at + kElementHeaderLength > end)
            return QStringLiteral("element %1 of target %2 lies outside its target").arg(e).arg(number);
        const qint64 elementSize = le32(file, at + 4);
        at += kElementHeaderLength;
        if (elementSize > end - at)
            return QStringLiteral("element %1 of target %2 lies outside its target").arg(e).arg(number);
        at += elementSize;
        *bytes += elementSize;
    }
    if (at != end)
        return QStringLiteral("target %1 gives %2 bytes, its elements hold %3")
            .arg(number)
            .arg(targetSize)
            .arg(at - start);
    *offset = end;
    return QString();
}

} // namespace

QString DfuFileInspector::problemWithFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("it cannot be read: %1").arg(file.errorString());
    if (file.size() > kMaxFileSize)
        return QStringLiteral("it is too large for a firmware file (%1 bytes)").arg(file.size());
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("it cannot be read: %1").arg(file.errorString());
    if (bytes.size() > kMaxFileSize) // grew while it was read
        return QStringLiteral("it is too large for a firmware file (%1 bytes)").arg(bytes.size());
    return problemWith(bytes);
}

QString DfuFileInspector::problemWith(const QByteArray &file)
{
    qint64 imageLength = 0;
    const QString suffixProblem = problemWithSuffix(file, &imageLength);
    if (!suffixProblem.isEmpty())
        return suffixProblem;
    if (imageLength < kPrefixLength || !file.startsWith("DfuSe") || file.at(5) != 0x01)
        return QStringLiteral("it has no DfuSe prefix");
    const qint64 declared = le32(file, 6);
    if (declared != imageLength)
        return QStringLiteral("its DfuSe prefix gives %1 bytes, the file holds %2").arg(declared).arg(imageLength);
    const int targets = static_cast<quint8>(file.at(10));
    if (targets == 0)
        return QStringLiteral("it holds no firmware image");
    qint64 offset = kPrefixLength;
    qint64 bytes = 0;
    for (int t = 1; t <= targets; ++t) {
        const QString targetProblem = problemWithTarget(file, imageLength, t, &offset, &bytes);
        if (!targetProblem.isEmpty())
            return targetProblem;
    }
    if (offset != imageLength)
        return QStringLiteral("%1 bytes follow the last target").arg(imageLength - offset);
    if (bytes == 0)
        return QStringLiteral("it holds no firmware image");
    return QString();
}
