#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One round of picture transfers as the devices manager runs them: one
// CommandRunner per port on the global thread pool, all started at once, each
// with the image transfer list for its own identifier.
//
// Wall and CPU time run from the building of the first command list to the
// arrival of the last `finished` signal in this thread's event loop, so they
// hold everything the application does for the transfers: list building, the
// runner's construction (its port look-up), the pool hand-over, opening and
// setting up the port, every exchange, closing, and the queued result.
class TransferRound
{
public:
    struct Outcome {
        bool ok = false;
        QString error;
        qint64 wallNs = 0;
        qint64 cpuNs = 0;     // this process only: the simulator runs in its own
        int exchanges = 0;    // request/answer exchanges of all transfers
    };

    // `ids` are decimal content identifiers, one per port.
    static Outcome run(const QStringList &ports, const QStringList &ids, const QByteArray &content,
                       int timeoutMs);
};
