#pragma once

#include "CountSet.h"

#include <QString>
#include <QStringList>

#include <array>

// The faults a device is told to show, by the number of the RPC request (or,
// for unplugging, of the transfer part) at which each strikes.
class FaultPlan
{
public:
    enum Kind {
        DropAnswer,       // the request is carried out, its answer never sent
        CorruptCrc,       // the answer's CRC is wrong
        CorruptLength,    // the answer's length byte is one too high
        WrongId,          // the answer echoes another identifier (request id XOR 1)
        StayBusy,         // from this request on, every answer is status 7
        UnplugAfterParts, // the device drops off the bus when this transfer part arrives
        KindCount
    };

    static bool kindFromName(const QString &name, Kind *kind);
    static QStringList names();

    void add(Kind kind, const CountSet &numbers);
    bool hits(Kind kind, quint64 number) const;
    void clear();

private:
    std::array<CountSet, KindCount> m_sets;
};
