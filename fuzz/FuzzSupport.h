#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QThreadPool>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What every fuzz target shares, called once before the first input.
namespace FuzzSupport {

inline void prepare()
{
    // The product's log lines are dropped: printing them would cost more than
    // the parsing under test.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // Qt converts large pictures on its global thread pool. A pool thread that
    // ends while LeakSanitizer stops the world can crash the checker, so pool
    // threads never expire during a run and are joined before the final check
    // (handlers registered later run earlier).
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    std::atexit([] { QThreadPool::globalInstance()->waitForDone(); });
}

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
inline void keep(qint64 value)
{
    static volatile qint64 sink = 0;
    sink = sink + value;
}

} // namespace FuzzSupport
