#include "ContentIds.h"

#include <QtEndian>

QByteArray idToBytes(const QString &decimalId)
{
    bool ok = false;
    quint64 value = decimalId.toULongLong(&ok, 10);
    if (!ok)
        value = 0;
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QStringList bytesToIds(const QByteArray &payload)
{
    QStringList ids;
    const auto *bytes = reinterpret_cast<const uchar *>(payload.constData());
    for (int offset = 0; offset < payload.size(); offset += 8) {
        quint64 value = 0;
        for (int i = 0; i < 8 && offset + i < payload.size(); ++i)
            value |= quint64(bytes[offset + i]) << (8 * i);
        ids.append(QString::number(value));
    }
    return ids;
}
