#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Content identifiers are decimal text in the cloud and the content pipeline and
// 8 bytes, least significant first, on the device link.

// Parses the decimal text as an unsigned 64-bit number (0 when it does not parse)
// and returns its 8 little-endian bytes.
QByteArray idToBytes(const QString &decimalId);

// Reads the payload in steps of 8 bytes (the last piece may be shorter), each piece
// an unsigned little-endian number, and returns them as decimal texts in order.
QStringList bytesToIds(const QByteArray &payload);
