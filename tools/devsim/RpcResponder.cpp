#include "RpcResponder.h"

#include "ContentStore.h"
#include "TransferAssembler.h"

#include <QtEndian>

namespace {

// Listings go out in whole identifiers; log text fills every answer.
constexpr int kListPartSize = 120;
constexpr int kLogPartSize = RpcAnswer::kMaxPayload;

quint64 le64(const QByteArray &in, int at)
{
    return qFromLittleEndian<quint64>(in.constData() + at);
}

} // namespace

RpcResponder::RpcResponder(DeviceIdentity &identity, ContentStore &store, TransferAssembler &transfer,
                           DeviceLog &log)
    : m_identity(identity)
    , m_store(store)
    , m_transfer(transfer)
    , m_log(log)
{
}

RpcResponder::Reply RpcResponder::answer(quint8 id, quint8 status, const QByteArray &payload) const
{
    Reply reply;
    reply.answer.id = id;
    reply.answer.status = status;
    reply.answer.payload = payload;
    return reply;
}

QByteArray RpcResponder::text(const QByteArray &value)
{
    return value.left(RpcAnswer::kMaxPayload - 1) + QByteArray(1, '\0');
}

QByteArray RpcResponder::idList(const QVector<quint64> &ids)
{
    QByteArray bytes;
    bytes.reserve(ids.size() * 8);
    for (const quint64 id : ids) {
        char raw[8];
        qToLittleEndian(id, raw);
        bytes.append(raw, 8);
    }
    return bytes;
}

bool RpcResponder::isTransferPart(const LinkDecoder::Frame &frame) const
{
    return frame.id == NextPart && !frame.payload.isEmpty() && m_transfer.isActive();
}

void RpcResponder::powerLoss()
{
    m_busyUntil = 0;
    m_pending.clear();
    m_transfer.abandon();
}

RpcResponder::Reply RpcResponder::handle(const LinkDecoder::Frame &frame, qint64 nowMs)
{
    if (frame.malformed) {
        m_log.append(QStringLiteral("rx: frame length %1 for command %2").arg(frame.lengthByte).arg(frame.id));
        return answer(frame.id, RpcAnswer::BadParameter);
    }
    if (!frame.crcOk) {
        m_log.append(QStringLiteral("rx: CRC error, command %1").arg(frame.id));
        return answer(frame.id, RpcAnswer::CrcMismatch);
    }
    if (frame.reserved != 0)
        return answer(frame.id, RpcAnswer::BadParameter);
    if (isBusy(nowMs))
        return answer(frame.id, RpcAnswer::Busy);
    if (frame.id == NextPart && frame.payload.isEmpty() && !m_pending.isEmpty())
        return continueMultiPart();
    m_pending.clear();
    return dispatch(frame, nowMs);
}

RpcResponder::Reply RpcResponder::startMultiPart(quint8 id, const QByteArray &all, int partSize)
{
    if (all.size() <= RpcAnswer::kMaxPayload)
        return answer(id, RpcAnswer::Done, all);
    m_partSize = partSize;
    m_pending = all.mid(partSize);
    return answer(id, RpcAnswer::MoreToFollow, all.left(partSize));
}

RpcResponder::Reply RpcResponder::continueMultiPart()
{
    const QByteArray part = m_pending.left(m_partSize);
    m_pending.remove(0, part.size());
    return answer(NextPart, m_pending.isEmpty() ? RpcAnswer::Done : RpcAnswer::MoreToFollow, part);
}

RpcResponder::Reply RpcResponder::setPercent(const LinkDecoder::Frame &frame, int *field, const char *what)
{
    if (frame.payload.size() != 1 || static_cast<quint8>(frame.payload.at(0)) > 100)
        return answer(frame.id, RpcAnswer::BadParameter);
    *field = static_cast<quint8>(frame.payload.at(0));
    m_log.append(QStringLiteral("%1 set to %2").arg(QLatin1String(what)).arg(*field));
    Reply reply = answer(frame.id, RpcAnswer::Done);
    reply.changed = true;
    return reply;
}

RpcResponder::Reply RpcResponder::dispatch(const LinkDecoder::Frame &frame, qint64 nowMs)
{
    const QByteArray &p = frame.payload;
    const quint8 id = frame.id;
    const auto noPayload = [&]() { return p.isEmpty(); };

    switch (id) {
    case Ping:
        return answer(id, noPayload() ? RpcAnswer::Done : RpcAnswer::BadParameter);
    case ReadImages:
    case ReadGifs:
    case ReadSlideshows:
    case ReadSlideshowImages: {
        if (!noPayload())
            return answer(id, RpcAnswer::BadParameter);
        QVector<quint64> ids;
        if (id == ReadImages)
            ids = m_store.pictureSlots();
        else if (id == ReadGifs)
            ids = m_store.ids(ContentStore::Gif);
        else if (id == ReadSlideshows)
            ids = m_store.ids(ContentStore::Slideshow);
        else
            ids = m_store.slideshowPictures();
        return startMultiPart(id, idList(ids), kListPartSize);
    }
    case NextPart: {
        if (p.isEmpty())
            return answer(id, RpcAnswer::BadParameter); // nothing more to send
        const TransferAssembler::Outcome outcome = m_transfer.part(p);
        if (!outcome.log.isEmpty())
            m_log.append(outcome.log);
        Reply reply = answer(id, outcome.status);
        reply.changed = outcome.storeChanged;
        return reply;
    }
    case ReadMac:
        return answer(id, noPayload() ? RpcAnswer::Done : RpcAnswer::BadParameter,
                      noPayload() ? m_identity.macOnWire() : QByteArray());
    case Delete: {
        if (p.size() != 9)
            return answer(id, RpcAnswer::BadParameter);
        const quint8 type = static_cast<quint8>(p.at(0));
        const quint64 content = le64(p, 1);
        bool removed = false;
        if (type == ContentStore::Image)
            removed = m_store.remove(ContentStore::Image, content) || m_store.remove(ContentStore::Gif, content);
        else if (type == ContentStore::Gif || type == ContentStore::Slideshow)
            removed = m_store.remove(static_cast<ContentStore::Kind>(type), content);
        if (!removed) {
            m_log.append(QStringLiteral("delete: no item %1 of type %2").arg(content).arg(type));
            return answer(id, RpcAnswer::BadParameter);
        }
        m_transfer.revalidate();
        m_log.append(QStringLiteral("deleted %1 (type %2)").arg(content).arg(type));
        Reply reply = answer(id, RpcAnswer::Done);
        reply.changed = true;
        return reply;
    }
    case Activate: {
        if (p.size() != 8 || !m_store.hasComplete(le64(p, 0)))
            return answer(id, RpcAnswer::BadParameter);
        m_store.setDefaultContent(le64(p, 0));
        m_log.append(QStringLiteral("default content %1").arg(le64(p, 0)));
        Reply reply = answer(id, RpcAnswer::Done);
        reply.changed = true;
        return reply;
    }
    case ReadName:
        return noPayload() ? answer(id, RpcAnswer::Done, text(m_identity.name.toUtf8()))
                           : answer(id, RpcAnswer::BadParameter);
    case ReadFirmwareVersion:
        return noPayload() ? answer(id, RpcAnswer::Done, text(m_identity.firmwareVersion.toLatin1()))
                           : answer(id, RpcAnswer::BadParameter);
    case FreeSlots:
        return noPayload() ? answer(id, RpcAnswer::Done,
                                    QByteArray(1, static_cast<char>(qMin(m_store.freeSlots(), 127))))
                           : answer(id, RpcAnswer::BadParameter);
    case ReadLog:
        return noPayload() ? startMultiPart(id, m_log.payload(), kLogPartSize)
                           : answer(id, RpcAnswer::BadParameter);
    case Erase: {
        if (!noPayload())
            return answer(id, RpcAnswer::BadParameter);
        m_transfer.abandon();
        m_store.clear();
        m_busyUntil = nowMs + m_eraseMs;
        m_log.append(QStringLiteral("erase: all content"));
        Reply reply = answer(id, RpcAnswer::Busy);
        reply.changed = true;
        reply.busyStarted = true;
        return reply;
    }
    case ReadBoardId:
        return noPayload() ? answer(id, RpcAnswer::Done, text(m_identity.boardId.toUtf8()))
                           : answer(id, RpcAnswer::BadParameter);
    case ReadDeviceSerial:
        return noPayload() ? answer(id, RpcAnswer::Done, text(m_identity.deviceSerial.toUtf8()))
                           : answer(id, RpcAnswer::BadParameter);
    case ReadPlantNumber:
        return noPayload() ? answer(id, RpcAnswer::Done, text(m_identity.plantNumber.toUtf8()))
                           : answer(id, RpcAnswer::BadParameter);
    case CleanUp: {
        if (!noPayload())
            return answer(id, RpcAnswer::BadParameter);
        m_transfer.abandon();
        const int removed = m_store.removeIncomplete();
        if (removed)
            m_log.append(QStringLiteral("clean-up: %1 incomplete items removed").arg(removed));
        Reply reply = answer(id, RpcAnswer::Done);
        reply.changed = removed > 0;
        return reply;
    }
    case CancelUpload: {
        if (!noPayload())
            return answer(id, RpcAnswer::BadParameter);
        Reply reply = answer(id, RpcAnswer::Done);
        reply.changed = m_transfer.cancel();
        if (reply.changed)
            m_log.append(QStringLiteral("upload cancelled"));
        return reply;
    }
    case SetChargingDisplay: {
        if (p.size() != 16 || !m_store.hasComplete(le64(p, 0)))
            return answer(id, RpcAnswer::BadParameter);
        m_store.setChargingDisplay(le64(p, 0), le64(p, 8));
        Reply reply = answer(id, RpcAnswer::Done);
        reply.changed = true;
        return reply;
    }
    case ReadBrightness:
        return noPayload() ? answer(id, RpcAnswer::Done, QByteArray(1, static_cast<char>(m_identity.brightness)))
                           : answer(id, RpcAnswer::BadParameter);
    case SetBrightness:
        return setPercent(frame, &m_identity.brightness, "brightness");
    case ReadDimLevel:
        return noPayload() ? answer(id, RpcAnswer::Done, QByteArray(1, static_cast<char>(m_identity.dimLevel)))
                           : answer(id, RpcAnswer::BadParameter);
    case SetDimLevel:
        return setPercent(frame, &m_identity.dimLevel, "dim level");
    case Transfer: {
        const TransferAssembler::Outcome outcome = m_transfer.header(p);
        if (!outcome.log.isEmpty())
            m_log.append(outcome.log);
        Reply reply = answer(id, outcome.status);
        reply.changed = outcome.storeChanged;
        return reply;
    }
    case OpenDfu: {
        // The restart into the boot loader cuts the link before any answer.
        m_log.append(QStringLiteral("restart into the boot loader"));
        Reply reply;
        reply.silent = true;
        reply.enterDfu = true;
        return reply;
    }
    case ReadBattery:
        return noPayload() ? answer(id, RpcAnswer::Done, QByteArray(1, static_cast<char>(m_identity.battery)))
                           : answer(id, RpcAnswer::BadParameter);
    default:
        return answer(id, RpcAnswer::UnknownError);
    }
}
