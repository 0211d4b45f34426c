#include "FirmwareCommand.h"

#include "DfuSeFile.h"
#include "FirmwareImage.h"

#include <QCommandLineParser>
#include <QSaveFile>

#include <cstdio>

int FirmwareCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "tamo-devsim make-firmware --fw VERSION --out FILE [--size BYTES]\n\n"
        "Writes a firmware file for the simulated boot loader: a DfuSe file (prefix,\n"
        "one target for alternate setting 0, one element at 0x08004000, DFU suffix\n"
        "with vendor 0x0483, product 0xDF11, bcdDFU 0x011A and its CRC) whose element\n"
        "is the image \"TAMOFW\\n\" \"version=VERSION\\n\" \"\\n\" followed by filler bytes.\n"
        "The upgrade tool stand-in flashes it; the device then reports VERSION."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("fw"), QStringLiteral("Version the image names ([0-9A-Za-z.+_-], 1 to 32 characters)."), QStringLiteral("VERSION")},
        {QStringLiteral("out"), QStringLiteral("File to write."), QStringLiteral("FILE")},
        {QStringLiteral("size"), QStringLiteral("Image size in bytes (default 24576; at most 245760)."), QStringLiteral("BYTES")},
    });
    QStringList args = arguments;
    args[0] = QStringLiteral("tamo-devsim make-firmware");
    if (!parser.parse(args)) {
        std::fprintf(stderr, "tamo-devsim: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    const QString version = parser.value(QStringLiteral("fw"));
    const QString out = parser.value(QStringLiteral("out"));
    if (!FirmwareImage::isValidVersion(version) || out.isEmpty()) {
        std::fputs("tamo-devsim: make-firmware needs --fw VERSION ([0-9A-Za-z.+_-]{1,32}) and --out FILE\n", stderr);
        return 2;
    }
    const int maxSize = static_cast<int>(FirmwareImage::kFlashBase + FirmwareImage::kFlashSize
                                         - FirmwareImage::kApplicationAddress);
    int size = FirmwareImage::kDefaultSize;
    if (parser.isSet(QStringLiteral("size"))) {
        bool ok = false;
        size = parser.value(QStringLiteral("size")).toInt(&ok);
        if (!ok || size < FirmwareImage::headerSize(version) || size > maxSize) {
            std::fprintf(stderr, "tamo-devsim: --size takes %d to %d bytes\n",
                         FirmwareImage::headerSize(version), maxSize);
            return 2;
        }
    }
    const QByteArray file = DfuSeFile::build(FirmwareImage::make(version, size),
                                             FirmwareImage::kApplicationAddress, QStringLiteral("TAMO"));
    QSaveFile target(out);
    if (!target.open(QIODevice::WriteOnly) || target.write(file) != file.size() || !target.commit()) {
        std::fprintf(stderr, "tamo-devsim: cannot write %s: %s\n", qPrintable(out), qPrintable(target.errorString()));
        return 1;
    }
    return 0;
}
