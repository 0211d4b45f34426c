#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The least a client can do for a series of exchanges: open the terminal raw
// and blocking, then for each request write() the whole frame and read() until
// the answer's 4-byte header and the length it announces (plus the 4 CRC bytes)
// are in. Nothing is parsed beyond the length, the echoed identifier and the
// status (answers other than 0 and 5 are counted as rejected).
class RawClient
{
public:
    struct Outcome {
        qint64 wallNs = -1;   // first write to last answer byte; -1 on failure
        qint64 cpuNs = 0;     // this process's CPU time over the same span
        int rejected = 0;     // answers with a status other than 0 (done) or 5 (more)
        QString error;
    };

    static Outcome exchange(const QString &portName, const QVector<QByteArray> &requests);
};
