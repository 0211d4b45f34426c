#include "DfuSeFile.h"

#include "DfuSuffixCrc.h"

#include <QtEndian>

namespace {

constexpr int kPrefixLength = 11;
constexpr int kTargetPrefixLength = 274;
constexpr int kTargetNameLength = 255;
constexpr int kElementHeaderLength = 8;

void appendLe32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendLe16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

quint32 le32(const QByteArray &in, int offset)
{
    return qFromLittleEndian<quint32>(in.constData() + offset);
}

quint16 le16(const QByteArray &in, int offset)
{
    return qFromLittleEndian<quint16>(in.constData() + offset);
}

} // namespace

QByteArray DfuSeFile::build(const QByteArray &data, quint32 address, const QString &targetName,
                            quint16 vendor, quint16 product)
{
    QByteArray element;
    appendLe32(element, address);
    appendLe32(element, static_cast<quint32>(data.size()));
    element.append(data);

    QByteArray target("Target");
    target.append(char(0)); // alternate setting 0
    appendLe32(target, targetName.isEmpty() ? 0u : 1u);
    QByteArray name = targetName.toLatin1().left(kTargetNameLength - 1);
    name.append(QByteArray(kTargetNameLength - name.size(), '\0'));
    target.append(name);
    appendLe32(target, static_cast<quint32>(element.size()));
    appendLe32(target, 1u);

    QByteArray file("DfuSe");
    file.append(char(0x01));
    const quint32 imageSize = kPrefixLength + target.size() + element.size();
    appendLe32(file, imageSize);
    file.append(char(1));
    file.append(target);
    file.append(element);

    appendLe16(file, 0xFFFF); // bcdDevice: any
    appendLe16(file, product);
    appendLe16(file, vendor);
    appendLe16(file, kDfuSeVersion);
    file.append("UFD", 3);
    file.append(char(kSuffixLength));
    appendLe32(file, DfuSuffixCrc::of(file));
    return file;
}

DfuSeFile::Suffix DfuSeFile::readSuffix(const QByteArray &file)
{
    Suffix suffix;
    if (file.size() < kSuffixLength) {
        suffix.problem = QStringLiteral("File too short for DFU suffix");
        return suffix;
    }
    const int at = file.size() - kSuffixLength;
    if (file.at(at + 8) != 'U' || file.at(at + 9) != 'F' || file.at(at + 10) != 'D') {
        suffix.problem = QStringLiteral("Invalid DFU suffix signature");
        return suffix;
    }
    if (le32(file, file.size() - 4) != DfuSuffixCrc::of(file.constData(), file.size() - 4)) {
        suffix.problem = QStringLiteral("DFU suffix CRC does not match");
        return suffix;
    }
    suffix.length = static_cast<quint8>(file.at(at + 11));
    if (suffix.length < kSuffixLength) {
        suffix.problem = QStringLiteral("Unsupported DFU suffix length %1").arg(suffix.length);
        return suffix;
    }
    if (suffix.length > file.size()) {
        suffix.problem = QStringLiteral("Invalid DFU suffix length %1").arg(suffix.length);
        return suffix;
    }
    suffix.bcdDevice = le16(file, at);
    suffix.idProduct = le16(file, at + 2);
    suffix.idVendor = le16(file, at + 4);
    suffix.bcdDfu = le16(file, at + 6);
    suffix.valid = true;
    return suffix;
}

DfuSeFile::Contents DfuSeFile::readContents(const QByteArray &in)
{
    Contents contents;
    if (in.size() <= kPrefixLength + kTargetPrefixLength + kElementHeaderLength) {
        contents.problem = QStringLiteral("File too small for a DfuSe file");
        return contents;
    }
    if (!in.startsWith("DfuSe")) {
        contents.problem = QStringLiteral("No valid DfuSe signature");
        return contents;
    }
    if (in.at(5) != 0x01) {
        contents.problem = QStringLiteral("DFU format revision %1 not supported").arg(int(in.at(5)));
        return contents;
    }
    const int targets = static_cast<quint8>(in.at(10));
    int offset = kPrefixLength;
    for (int t = 0; t < targets; ++t) {
        if (offset + kTargetPrefixLength > in.size()) {
            contents.problem = QStringLiteral("Corrupt DfuSe file: Cannot read %1 bytes from %2 bytes")
                                   .arg(kTargetPrefixLength).arg(in.size() - offset);
            return contents;
        }
        if (in.mid(offset, 6) != "Target") {
            contents.problem = QStringLiteral("No valid target signature");
            return contents;
        }
        Target target;
        target.alternate = static_cast<quint8>(in.at(offset + 6));
        target.named = le32(in, offset + 7) != 0;
        const QByteArray rawName = in.mid(offset + 11, kTargetNameLength);
        target.name = QString::fromLatin1(rawName.left(rawName.indexOf('\0') < 0 ? rawName.size()
                                                                              : rawName.indexOf('\0')));
        const quint32 elements = le32(in, offset + 270);
        offset += kTargetPrefixLength;
        for (quint32 e = 0; e < elements; ++e) {
            if (offset + kElementHeaderLength > in.size()) {
                contents.problem = QStringLiteral("Corrupt DfuSe file: Cannot read %1 bytes from %2 bytes")
                                       .arg(kElementHeaderLength).arg(in.size() - offset);
                return contents;
            }
            Element element;
            element.address = le32(in, offset);
            const quint32 size = le32(in, offset + 4);
            offset += kElementHeaderLength;
            if (size > static_cast<quint32>(in.size() - offset)) {
                contents.problem = QStringLiteral("File too small for element size");
                return contents;
            }
            element.data = in.mid(offset, static_cast<int>(size));
            offset += static_cast<int>(size);
            target.elements.append(element);
        }
        contents.targets.append(target);
    }
    if (offset != in.size()) {
        contents.problem = QStringLiteral("%1 bytes leftover").arg(in.size() - offset);
        return contents;
    }
    if (contents.targets.isEmpty()) {
        contents.problem = QStringLiteral("File contains no DFU images");
        return contents;
    }
    contents.valid = true;
    return contents;
}
