#include "CommandErrors.h"

#include <QHash>

namespace {

const QHash<int, QString> &rpcTable()
{
    static const QHash<int, QString> table = {
        {1, QStringLiteral("File already uploaded to device")},
        {2, QStringLiteral("Invalid request parameter")},
        {3, QStringLiteral("CRC does't pass validation")},
        {4, QStringLiteral("Unknown error")},
        {6, QStringLiteral("There are no free space on device")},
    };
    return table;
}

// The firmware's own numbering: 16 (not 8) is the CRC error, 8 and 15 are unused.
const QHash<int, QString> &plainTable()
{
    static const QHash<int, QString> table = {
        {1, QStringLiteral("Unknown error")},
        {2, QStringLiteral("Image ID has already been downloaded to TAMO device")},
        {3, QStringLiteral("Parameter out of bounds")},
        {4, QStringLiteral("Not valid ID")},
        {5, QStringLiteral("Data could not be written to flash")},
        {6, QStringLiteral("Size mismatch")},
        {7, QStringLiteral("There is no space left in flash")},
        {9, QStringLiteral("Missed start segment")},
        {10, QStringLiteral("The number of bytes recieved this transfer didn't match the original "
                            "given length")},
        {11, QStringLiteral("File type was not recognised")},
        {12, QStringLiteral("File is too large to fit on the device")},
        {13, QStringLiteral("File transfer has not been started")},
        {14, QStringLiteral("Wrong file length")},
        {16, QStringLiteral("CRC didn't match")},
        {17, QStringLiteral("Unknown image format")},
    };
    return table;
}

} // namespace

QString CommandErrors::rpcText(int status)
{
    return rpcTable().value(status);
}

QString CommandErrors::plainText(int status)
{
    return plainTable().value(status);
}

QString CommandErrors::responseTooShort()
{
    return QStringLiteral("Device response is to short");
}

QString CommandErrors::responseTooLong()
{
    return QStringLiteral("Device response is to long");
}
