#pragma once

#include "DeviceIdentity.h"
#include "DeviceLog.h"
#include "LinkDecoder.h"
#include "RpcAnswer.h"

#include <QByteArray>
#include <QtGlobal>

class ContentStore;
class TransferAssembler;

// The firmware's RPC dialect: one request frame in, at most one answer out,
// with the state it changes (identity settings, the content store, the open
// transfer, the busy period of an erase, the rest of a multi-part answer).
class RpcResponder
{
public:
    enum Command : quint8 {
        Ping = 0,
        ReadImages = 1,
        ReadGifs = 2,
        ReadSlideshows = 3,
        ReadSlideshowImages = 4,
        NextPart = 5,
        ReadMac = 6,
        Delete = 7,
        Activate = 8,
        ReadName = 9,
        ReadFirmwareVersion = 10,
        FreeSlots = 11,
        ReadLog = 12,
        Erase = 13,
        ReadBoardId = 14,
        ReadDeviceSerial = 15,
        ReadPlantNumber = 16,
        CleanUp = 17,
        CancelUpload = 18,
        SetChargingDisplay = 19,
        ReadBrightness = 20,
        SetBrightness = 21,
        ReadDimLevel = 24,
        SetDimLevel = 25,
        Transfer = 30,
        OpenDfu = 31,
        ReadBattery = 32,
    };

    struct Reply {
        bool silent = false;   // nothing is sent back
        RpcAnswer answer;
        bool changed = false;  // identity or store changed: the snapshot is due
        bool enterDfu = false; // restart into the boot loader
        bool busyStarted = false;
    };

    RpcResponder(DeviceIdentity &identity, ContentStore &store, TransferAssembler &transfer,
                 DeviceLog &log);

    void setEraseMs(int ms) { m_eraseMs = ms; }
    Reply handle(const LinkDecoder::Frame &frame, qint64 nowMs);

    bool isBusy(qint64 nowMs) const { return nowMs < m_busyUntil; }
    qint64 busyUntil() const { return m_busyUntil; }
    // True for a data part of an open transfer (what "unplug after N parts" counts).
    bool isTransferPart(const LinkDecoder::Frame &frame) const;
    // Power loss: the RAM state goes, the flash stays.
    void powerLoss();

private:
    Reply answer(quint8 id, quint8 status, const QByteArray &payload = QByteArray()) const;
    Reply startMultiPart(quint8 id, const QByteArray &all, int partSize);
    Reply continueMultiPart();
    Reply dispatch(const LinkDecoder::Frame &frame, qint64 nowMs);
    Reply setPercent(const LinkDecoder::Frame &frame, int *field, const char *what);
    static QByteArray text(const QByteArray &value);
    static QByteArray idList(const QVector<quint64> &ids);

    DeviceIdentity &m_identity;
    ContentStore &m_store;
    TransferAssembler &m_transfer;
    DeviceLog &m_log;
    int m_eraseMs = 2500;
    qint64 m_busyUntil = 0;
    QByteArray m_pending;  // rest of a multi-part answer
    int m_partSize = 0;
};
