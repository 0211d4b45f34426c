// A firmware file (downloaded from the cloud's link or chosen by the operator),
// looked at the way the upgrader looks at it before a device is sent into its
// boot loader. Byte 0 chooses whether the rest keeps its own checksum or gets a
// fitting one, so that the sizes behind the checksum are reached too.
// A file that passes must be one the firmware tool stand-in's own reader (the
// simulator's, written apart from the application) takes whole as well.
#include "FuzzSupport.h"

#include "DfuFileInspector.h"
#include "DfuSeFile.h"
#include "DfuSuffixCrc.h"

#include <QtEndian>

#include <cstdlib>

using FuzzSupport::keep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    QByteArray file = FuzzSupport::bytes(data + 1, size - 1);
    if ((data[0] & 1) && file.size() >= 4)
        qToLittleEndian(DfuSuffixCrc::of(file.constData(), file.size() - 4), file.data() + file.size() - 4);
    const QString problem = DfuFileInspector::problemWith(file);
    if (problem.isEmpty()) {
        const DfuSeFile::Suffix suffix = DfuSeFile::readSuffix(file);
        if (!suffix.valid || suffix.bcdDfu != DfuSeFile::kDfuSeVersion
            || !DfuSeFile::readContents(file.left(file.size() - suffix.length)).valid)
            std::abort();
    }
    keep(problem.size());
    return 0;
}
