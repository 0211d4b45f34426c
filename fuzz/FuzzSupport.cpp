#include "FuzzSupport.h"

#include <QThreadPool>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // No application object: with one, every access manager of a cloud request
    // wakes the network configuration thread, at a third of the speed. The
    // product's log lines are dropped: printing them would cost more than the
    // parsing under test.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // Qt converts large pictures on its global thread pool. A pool thread that
    // ends while LeakSanitizer stops the world can crash the checker, so pool
    // threads never expire during a run and are joined before the final check
    // (handlers registered later run earlier).
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    std::atexit([] { QThreadPool::globalInstance()->waitForDone(); });
    return 0;
}
