#include "FirmwareImage.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {

const QByteArray kMagic = QByteArrayLiteral("TAMOFW\n");
const QByteArray kVersionKey = QByteArrayLiteral("version=");

QByteArray header(const QString &version)
{
    return kMagic + kVersionKey + version.toLatin1() + "\n\n";
}

} // namespace

bool FirmwareImage::isValidVersion(const QString &version)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Za-z.+_-]{1,32}$"));
    return pattern.match(version).hasMatch();
}

int FirmwareImage::headerSize(const QString &version)
{
    return header(version).size();
}

QByteArray FirmwareImage::make(const QString &version, int size)
{
    QByteArray image = header(version);
    QByteArray block = QCryptographicHash::hash(image, QCryptographicHash::Sha256);
    image.reserve(qMax(size, image.size()));
    while (image.size() < size) {
        image.append(block.constData(), qMin(block.size(), size - image.size()));
        block = QCryptographicHash::hash(block, QCryptographicHash::Sha256);
    }
    return image;
}

QString FirmwareImage::versionOf(const QByteArray &image)
{
    if (!image.startsWith(kMagic))
        return QString();
    const int start = kMagic.size();
    if (image.mid(start, kVersionKey.size()) != kVersionKey)
        return QString();
    const int valueStart = start + kVersionKey.size();
    const int end = image.indexOf('\n', valueStart);
    if (end < 0 || end + 1 >= image.size() || image.at(end + 1) != '\n')
        return QString();
    const QString version = QString::fromLatin1(image.mid(valueStart, end - valueStart));
    return isValidVersion(version) ? version : QString();
}
