#pragma once

#include <QByteArray>
#include <QHash>

// HTTP header name -> value, both as sent on the wire.
using RawHeaders = QHash<QByteArray, QByteArray>;
