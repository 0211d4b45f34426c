#pragma once

#include <QByteArray>
#include <QtGlobal>

// One answer frame of the device: 0x07, the echoed identifier, the status, the
// length byte (payload length + 4), the payload (at most 123 bytes) and the CRC
// of everything before it, least significant byte first.
struct RpcAnswer
{
    static constexpr int kMaxPayload = 123;

    enum Status : quint8 {
        Done = 0,
        AlreadyStored = 1,
        BadParameter = 2,
        CrcMismatch = 3,
        UnknownError = 4,
        MoreToFollow = 5,
        NoFreeSlots = 6,
        Busy = 7,
    };

    quint8 id = 0;
    quint8 status = Done;
    QByteArray payload;

    QByteArray encode() const;
};
