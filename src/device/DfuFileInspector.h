#pragma once

#include <QByteArray>
#include <QString>

// Looks at a firmware file before a device is sent into its boot loader. A device
// in its boot loader has stopped running its firmware, and the firmware tool reads
// the file only then: a damaged, cut-off or foreign file would leave the device
// without a working firmware or waiting in the boot loader. So a file goes to the
// device only when it is whole, as this device family's boot loader takes it:
//
//   DfuSe prefix (11 bytes)   "DfuSe", format 1, image size, number of targets
//   targets                   each: "Target", alternate setting, name flag,
//                             name (255), target size, number of elements,
//                             then elements: address, size, bytes
//   DFU suffix (16 bytes)     device, product, vendor, DFU version 0x011a,
//                             "UFD", suffix length, CRC-32 of all before it
//
// The image size must be the file's length without the suffix, each target's size
// the sum of its elements, and the targets must end where the image ends.
class DfuFileInspector
{
public:
    // No firmware of the device comes near this; a bigger file is no firmware file.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // Empty when the file may be flashed; otherwise why not, in the operator's words.
    static QString problemWithFile(const QString &path);
    static QString problemWith(const QByteArray &file);
};
