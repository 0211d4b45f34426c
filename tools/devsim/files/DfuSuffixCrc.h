#pragma once

#include <QByteArray>
#include <QtGlobal>

// The checksum of a DFU file suffix: the reflected CRC-32 (polynomial
// 0xEDB88320) started at 0xFFFFFFFF and, unlike zlib's, not inverted at the end.
class DfuSuffixCrc
{
public:
    static quint32 of(const char *data, qsizetype size);
    static quint32 of(const QByteArray &data) { return of(data.constData(), data.size()); }
};
