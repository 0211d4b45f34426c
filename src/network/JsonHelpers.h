#pragma once

#include "RawHeaders.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Helpers shared by the JSON endpoints.

// {"Content-Type": "application/json"}
RawHeaders jsonHeaders();
// {"Content-Type": "multipart/form-data"}
RawHeaders multipartHeaders();
// {"Content-Type": "application/x-www-form-urlencoded"}
RawHeaders formHeaders();

// Indented JSON with the keys in sorted order; empty bytes for an empty value, so
// an endpoint without fields sends no body.
QByteArray jsonObjectToBytes(const QJsonObject &object);
QByteArray jsonArrayToBytes(const QJsonArray &array);

// The document in the bytes, as QJsonDocument::fromJson reads it, but refused
// (null, with a warning) when an object names a member twice: Qt 5.15's parser
// loses the earlier value of such a member when it is an object or an array, a
// leak per answer, and RFC 8259 leaves duplicate names undefined anyway. A text
// nested deeper than Qt's parser goes (1024 levels) is refused before it is
// looked at further, so an answer never costs more than a small multiple of its
// size. Every JSON text from the cloud is read through it.
QJsonDocument parseJson(const QByteArray &bytes);

// The object or array in the bytes; empty for empty input or input of the other kind.
QJsonObject bytesToJsonObject(const QByteArray &bytes);
QJsonArray bytesToJsonArray(const QByteArray &bytes);

// The messages of an error answer: every string value of the top-level object
// (members of nested objects and elements of arrays included), in key order,
// joined by line feeds.
QString errorTextFromJson(const QByteArray &bytes);

// A JSON number as a 64-bit integer; 0 for anything that is not a number.
qint64 jsonInteger(const QJsonValue &value);
// The decimal text of jsonInteger(value).
QString jsonIntegerText(const QJsonValue &value);
