#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The simulated device's firmware image: what its boot loader writes to flash
// at the application address. It starts with a short text header that names the
// version; the device boots only from an image whose header it recognises.
//   "TAMOFW\n" "version=<version>\n" "\n" then filler bytes up to the image size.
class FirmwareImage
{
public:
    static constexpr quint32 kFlashBase = 0x08000000u;
    static constexpr quint32 kApplicationAddress = 0x08004000u; // below: the boot loader
    static constexpr quint32 kFlashSize = 256u * 1024u;
    static constexpr quint32 kPageSize = 2048u;
    static constexpr int kDefaultSize = 24 * 1024;

    // A version is 1 to 32 characters out of [0-9A-Za-z.+_-].
    static bool isValidVersion(const QString &version);
    static int headerSize(const QString &version);

    // The image for a version, filled up to size bytes with filler derived from
    // the version (so the same version always yields the same bytes).
    static QByteArray make(const QString &version, int size = kDefaultSize);

    // The version that an image names, or an empty text when the bytes are no
    // firmware image of this device.
    static QString versionOf(const QByteArray &image);
};
