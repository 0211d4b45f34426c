#include "DfuSession.h"

#include "DfuSeFile.h"
#include "FirmwareImage.h"
#include "ProgressBar.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// sysexits.h values, as dfu-util uses them.
constexpr int kExUsage = 64;
constexpr int kExDataErr = 65;
constexpr int kExNoInput = 66;
constexpr int kExCantCreate = 73;
constexpr int kExIoErr = 74;

constexpr int kTransferSize = 2048;
const char *const kInterfaceName = "@Internal Flash  /0x08000000/128*002Kg";

void say(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void complain(const QString &text)
{
    std::fflush(stdout);
    std::fprintf(stderr, "dfu-util: %s\n", qPrintable(text));
}

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

QString hex8(quint32 value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

void lostDevice(const char *during)
{
    complain(QStringLiteral("dfuse_download: libusb_control_transfer returned -4 (LIBUSB_ERROR_NO_DEVICE)"));
    complain(QString::fromLatin1(during));
}

} // namespace

DfuSession::DfuSession(const DfuCommandLine &command)
    : m_command(command)
{
}

DfuSession::~DfuSession() = default;

int DfuSession::run()
{
    if (m_command.help) {
        std::fputs(DfuCommandLine::usage(), stderr);
        std::fputs(DfuCommandLine::standInUsage(), stderr);
        return 0;
    }
    // Says what it is: a stand-in that speaks the 0.11 command line and output.
    say(QStringLiteral("tamo-dfu-util (dfu-util 0.11 compatible stand-in for simulated TAMO devices)\n\n"));
    if (m_command.version)
        return 0;
    if (!m_command.error.isEmpty()) {
        if (m_command.error != QLatin1String("usage"))
            complain(m_command.error);
        std::fputs(DfuCommandLine::usage(), stderr);
        return kExUsage;
    }
    switch (m_command.mode) {
    case DfuCommandLine::List:
        return list();
    case DfuCommandLine::Download:
        return download();
    case DfuCommandLine::Upload:
        return upload();
    case DfuCommandLine::None:
        break;
    }
    std::fputs("You need to specify one of -D or -U\n", stderr);
    std::fputs(DfuCommandLine::usage(), stderr);
    return kExUsage;
}

int DfuSession::list()
{
    int devnum = 1;
    for (const DfuState &state : DfuTarget::available(m_command.simFolder)) {
        say(QStringLiteral("Found DFU: [%1:%2] ver=2200, devnum=%3, cfg=1, intf=0, path=\"1-%3\", "
                           "alt=0, name=\"%4\", serial=\"%5\"")
                .arg(hex4(state.vendorId), hex4(state.productId))
                .arg(devnum)
                .arg(QLatin1String(kInterfaceName), state.serialNumber));
        ++devnum;
    }
    return 0;
}

bool DfuSession::findDevice(quint16 vendor, quint16 product, int *exitCode)
{
    const bool altMatches = m_command.alt.isEmpty() || m_command.alt == QLatin1String("0")
        || m_command.alt == QLatin1String(kInterfaceName);
    for (bool announced = false;; announced = true) {
        QVector<DfuState> matches;
        if (altMatches) {
            for (const DfuState &state : DfuTarget::available(m_command.simFolder)) {
                if (!m_command.serial.isEmpty() && state.serialNumber != m_command.serial)
                    continue;
                if ((vendor != 0xFFFF && state.vendorId != vendor) || (product != 0xFFFF && state.productId != product))
                    continue;
                matches.append(state);
            }
        }
        if (matches.size() > 1) {
            complain(QStringLiteral("More than one DFU capable USB device found! Try `--list' and specify "
                                    "the serial number or disconnect all but one device"));
            *exitCode = kExIoErr;
            return false;
        }
        if (matches.size() == 1) {
            m_target.reset(new DfuTarget(m_command.simFolder, matches.first()));
            return true;
        }
        if (!m_command.wait) {
            complain(QStringLiteral("No DFU capable USB device available"));
            *exitCode = kExIoErr;
            return false;
        }
        if (!announced)
            say(QStringLiteral("Waiting for device, exit with ctrl-C"));
        QThread::msleep(100);
    }
}

void DfuSession::printOpening() const
{
    const DfuState &state = m_target->state();
    say(QStringLiteral("Opening DFU capable USB device...\n"
                       "Device ID %1:%2\n"
                       "Device DFU version 011a\n"
                       "Claiming USB DFU Interface...\n"
                       "Setting Alternate Interface #0 ...\n"
                       "Determining device status...\n"
                       "DFU state(2) = dfuIDLE, status(0) = No error condition is present\n"
                       "DFU mode device DFU version 011a\n"
                       "Device returned transfer size %3\n"
                       "DfuSe interface name: \"Internal Flash  \"")
            .arg(hex4(state.vendorId), hex4(state.productId))
            .arg(kTransferSize));
}

bool DfuSession::step() const
{
    if (m_command.chunkDelayMs > 0)
        QThread::msleep(static_cast<unsigned long>(m_command.chunkDelayMs));
    return m_target->isPresent();
}

int DfuSession::download()
{
    QFile file(m_command.file);
    if (!file.open(QIODevice::ReadOnly)) {
        complain(QStringLiteral("Could not open file %1 for reading: %2")
                     .arg(m_command.file, file.errorString()));
        return kExNoInput;
    }
    const QByteArray bytes = file.readAll();
    const DfuSeFile::Suffix suffix = DfuSeFile::readSuffix(bytes);
    QByteArray content = bytes;
    if (suffix.valid) {
        content.chop(suffix.length);
        if (suffix.idVendor != 0xFFFF)
            say(QStringLiteral("Match vendor ID from file: %1").arg(hex4(suffix.idVendor)));
        if (suffix.idProduct != 0xFFFF)
            say(QStringLiteral("Match product ID from file: %1").arg(hex4(suffix.idProduct)));
    } else {
        complain(QStringLiteral("Warning: %1").arg(suffix.problem));
        complain(QStringLiteral("A valid DFU suffix will be required in a future dfu-util release"));
    }

    int exitCode = 0;
    if (!findDevice(suffix.idVendor, suffix.idProduct, &exitCode))
        return exitCode;
    printOpening();

    quint32 address = 0;
    bool hasAddress = false;
    bool leave = false;
    qint64 length = 0;
    if (!parseDfuseOptions(&address, &hasAddress, &leave, &length))
        return kExUsage;

    if (hasAddress) {
        if (suffix.valid && suffix.bcdDfu == DfuSeFile::kDfuSeVersion) {
            complain(QStringLiteral("This is a DfuSe file, not meant for raw download"));
            return kExDataErr;
        }
        say(QStringLiteral("Downloading element to address = %1, size = %2").arg(hex8(address)).arg(content.size()));
        const int rc = writeElement(address, content);
        if (rc != 0)
            return rc;
    } else {
        if (!suffix.valid || suffix.bcdDfu != DfuSeFile::kDfuSeVersion) {
            complain(QStringLiteral("Only DfuSe file version 1.1a is supported"));
            complain(QStringLiteral("(for raw binary download, use the --dfuse-address option)"));
            return kExDataErr;
        }
        const DfuSeFile::Contents dfuse = DfuSeFile::readContents(content);
        if (!dfuse.valid) {
            complain(dfuse.problem);
            return kExDataErr;
        }
        say(QStringLiteral("File contains %1 DFU images").arg(dfuse.targets.size()));
        const int alt = m_command.alt.isEmpty() ? 0 : m_command.alt.toInt();
        for (int t = 0; t < dfuse.targets.size(); ++t) {
            const DfuSeFile::Target &target = dfuse.targets.at(t);
            int total = 0;
            for (const DfuSeFile::Element &element : target.elements)
                total += element.data.size();
            say(QStringLiteral("Parsing DFU image %1").arg(t + 1));
            say(target.named ? QStringLiteral("Target name: %1").arg(target.name) : QStringLiteral("No target name"));
            say(QStringLiteral("Image for alternate setting %1, (%2 elements, total size = %3)")
                    .arg(target.alternate).arg(target.elements.size()).arg(total));
            if (target.alternate != alt) {
                say(QStringLiteral("No alternate setting %1 (skipping elements)").arg(target.alternate));
                continue;
            }
            for (int e = 0; e < target.elements.size(); ++e) {
                const DfuSeFile::Element &element = target.elements.at(e);
                say(QStringLiteral("Parsing element %1, address = %2, size = %3")
                        .arg(e + 1).arg(hex8(element.address)).arg(element.data.size()));
                const int rc = writeElement(element.address, element.data);
                if (rc != 0)
                    return rc;
            }
        }
    }
    say(QStringLiteral("File downloaded successfully"));
    if (leave) {
        say(QStringLiteral("Submitting leave request..."));
        m_target->update([](DfuState &state) { state.state = QStringLiteral("leaving"); });
    }
    return 0;
}

int DfuSession::writeElement(quint32 address, const QByteArray &data)
{
    const quint64 end = quint64(address) + quint64(data.size());
    const quint64 flashEnd = quint64(FirmwareImage::kFlashBase) + FirmwareImage::kFlashSize;
    if (data.isEmpty() || address < FirmwareImage::kFlashBase || end > flashEnd) {
        complain(QStringLiteral("Last page at %1 is not writeable").arg(hex8(static_cast<quint32>(end - 1))));
        return kExIoErr;
    }
    // Erasing the pages destroys the firmware that was there.
    if (!m_target->update([](DfuState &state) {
            state.state = QStringLiteral("dfuDNBUSY");
            state.firmwareValid = false;
            state.firmwareVersion.clear();
        })) {
        lostDevice("Error during special command \"ERASE_PAGE\" download");
        return kExIoErr;
    }
    m_target->eraseFlash();

    ProgressBar erase("Erase   ", data.size());
    erase.update(0);
    for (int done = 0; done < data.size();) {
        if (!step()) {
            lostDevice("Error during special command \"ERASE_PAGE\" download");
            return kExIoErr;
        }
        done = qMin(data.size(), done + static_cast<int>(FirmwareImage::kPageSize));
        erase.update(done);
    }
    ProgressBar download("Download", data.size());
    download.update(0);
    for (int done = 0; done < data.size();) {
        if (!step()) {
            lostDevice("Error during download");
            return kExIoErr;
        }
        done = qMin(data.size(), done + kTransferSize);
        download.update(done);
    }

    const bool atApplication = address == FirmwareImage::kApplicationAddress;
    const QString version = atApplication ? FirmwareImage::versionOf(data) : QString();
    if ((atApplication && !m_target->writeFlash(data))
        || !m_target->update([&](DfuState &state) {
               state.state = QStringLiteral("dfuIDLE");
               state.firmwareVersion = version;
               state.firmwareValid = !version.isEmpty();
           })) {
        lostDevice("Error during download");
        return kExIoErr;
    }
    return 0;
}

bool DfuSession::parseDfuseOptions(quint32 *address, bool *hasAddress, bool *leave, qint64 *length) const
{
    *hasAddress = false;
    *leave = false;
    *length = 0;
    if (m_command.dfuseOptions.isEmpty())
        return true;
    const QStringList words = m_command.dfuseOptions.split(QLatin1Char(':'));
    if (!words.first().isEmpty()) {
        bool ok = false;
        const QString text = words.first();
        const qulonglong value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
            ? text.mid(2).toULongLong(&ok, 16)
            : text.toULongLong(&ok, 0);
        if (!ok || value > 0xFFFFFFFFull) {
            complain(QStringLiteral("Invalid dfuse address: %1").arg(m_command.dfuseOptions));
            return false;
        }
        *address = static_cast<quint32>(value);
        *hasAddress = true;
    }
    for (int i = 1; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (word.isEmpty() || word == QLatin1String("force") || word == QLatin1String("will-reset"))
            continue;
        if (word == QLatin1String("leave")) {
            *leave = true;
            continue;
        }
        if (word == QLatin1String("mass-erase") || word == QLatin1String("unprotect")) {
            complain(QStringLiteral("The %1 command is not offered by this boot loader").arg(word));
            return false;
        }
        bool ok = false;
        *length = word.toLongLong(&ok, 0);
        if (!ok || *length <= 0) {
            complain(QStringLiteral("Invalid dfuse modifier: %1").arg(word));
            return false;
        }
    }
    return true;
}

int DfuSession::upload()
{
    int exitCode = 0;
    if (!findDevice(0xFFFF, 0xFFFF, &exitCode))
        return exitCode;
    printOpening();

    quint32 address = FirmwareImage::kFlashBase;
    bool hasAddress = false;
    bool leave = false;
    qint64 length = 0;
    if (!parseDfuseOptions(&address, &hasAddress, &leave, &length))
        return kExUsage;

    // Like dfu-util, never overwrite an existing file.
    const QByteArray path = QFile::encodeName(m_command.file);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        complain(QStringLiteral("Cannot open file %1 for writing: %2")
                     .arg(m_command.file, QString::fromLocal8Bit(std::strerror(errno))));
        return kExCantCreate;
    }

    const quint32 flashEnd = FirmwareImage::kFlashBase + FirmwareImage::kFlashSize;
    qint64 limit = length;
    if (!hasAddress) {
        if (limit == 0)
            limit = 0x4000;
        say(QStringLiteral("Limiting default upload to %1 bytes").arg(limit));
    } else if (address < FirmwareImage::kFlashBase || address >= flashEnd) {
        ::close(fd);
        complain(QStringLiteral("Page at %1 is not readable").arg(hex8(address)));
        return 1;
    } else if (limit == 0) {
        limit = flashEnd - address;
        say(QStringLiteral("Limiting upload to end of memory segment, %1 bytes").arg(limit));
    }

    // The whole flash as the device holds it: boot loader, firmware, erased rest.
    QByteArray flash(static_cast<int>(FirmwareImage::kFlashSize), char(0xFF));
    const QByteArray bootloader = QByteArrayLiteral("simulated boot loader");
    flash.replace(0, bootloader.size(), bootloader);
    const QByteArray image = m_target->flashImage().left(
        static_cast<int>(flashEnd - FirmwareImage::kApplicationAddress));
    flash.replace(static_cast<int>(FirmwareImage::kApplicationAddress - FirmwareImage::kFlashBase),
                  image.size(), image);
    const int from = static_cast<int>(address - FirmwareImage::kFlashBase);
    const QByteArray data = flash.mid(from, static_cast<int>(qMin<qint64>(limit, flash.size() - from)));

    ProgressBar progress("Upload", data.size());
    progress.update(0);
    int done = 0;
    while (done < data.size()) {
        if (!step()) {
            ::close(fd);
            complain(QStringLiteral("dfuse_upload: libusb_control_transfer returned -4 (LIBUSB_ERROR_NO_DEVICE)"));
            complain(QStringLiteral("Error during upload"));
            return kExIoErr;
        }
        const int chunk = qMin(kTransferSize, data.size() - done);
        if (::write(fd, data.constData() + done, static_cast<size_t>(chunk)) != chunk) {
            ::close(fd);
            complain(QStringLiteral("Short file write: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return kExIoErr;
        }
        done += chunk;
        progress.update(done);
    }
    ::close(fd);
    if (leave) {
        say(QStringLiteral("Submitting leave request..."));
        if (!m_target->update([](DfuState &state) { state.state = QStringLiteral("leaving"); })) {
            lostDevice("Error during download get_status");
            return kExIoErr;
        }
        say(QStringLiteral("Transitioning to dfuMANIFEST state"));
    } else if (m_command.reset) {
        say(QStringLiteral("Resetting USB to switch back to Run-Time mode"));
    }
    return 0;
}
