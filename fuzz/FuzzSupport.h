#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares. FuzzSupport.cpp prepares the process once,
// before the first input (LLVMFuzzerInitialize).
namespace FuzzSupport {

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size));
}

// There is no event loop: what the code under test posted to this thread (a
// deferred delete, a queued call) is delivered after each input, as the event
// loop would, instead of piling up.
inline void deliverPostedEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Results are folded into a sink so that reading them is never optimised away.
// Each value is folded on its own and by XOR: adding values read from hostile
// input would overflow in the harness instead of in the code under test.
template <class... Values>
inline void keep(Values... values)
{
    static volatile quint64 sink = 0;
    ((sink = sink ^ static_cast<quint64>(static_cast<qint64>(values))), ...);
}

} // namespace FuzzSupport
