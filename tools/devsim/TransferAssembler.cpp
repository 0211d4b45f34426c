#include "TransferAssembler.h"

#include <QJsonObject>
#include <QtEndian>

namespace {

quint64 le64(const QByteArray &in, int at)
{
    return qFromLittleEndian<quint64>(in.constData() + at);
}

quint32 le32(const QByteArray &in, int at)
{
    return qFromLittleEndian<quint32>(in.constData() + at);
}

quint16 le16(const QByteArray &in, int at)
{
    return qFromLittleEndian<quint16>(in.constData() + at);
}

} // namespace

TransferAssembler::TransferAssembler(ContentStore &store)
    : m_store(store)
{
}

TransferAssembler::Outcome TransferAssembler::fail(const QString &why)
{
    m_active = false;
    return {2, why, false};
}

TransferAssembler::Outcome TransferAssembler::header(const QByteArray &payload)
{
    // A new header while another transfer is open: the old item stays partial.
    m_active = false;
    if (payload.size() == 13) {
        const quint64 id = le64(payload, 0);
        const quint32 value = le32(payload, 8);
        switch (static_cast<quint8>(payload.at(12))) {
        case ContentStore::Image:
            return beginPicture(id, value, false, 0);
        case ContentStore::Gif:
            return beginGif(id, value);
        case ContentStore::Slideshow:
            return beginSlideshow(id, le16(payload, 8), le16(payload, 10));
        default:
            return fail(QStringLiteral("transfer header with unknown type %1")
                            .arg(static_cast<quint8>(payload.at(12))));
        }
    }
    if (payload.size() == 15 && payload.at(12) == ContentStore::Image)
        return beginPicture(le64(payload, 0), le32(payload, 8), true, le16(payload, 13));
    return fail(QStringLiteral("transfer header of %1 bytes").arg(payload.size()));
}

TransferAssembler::Outcome TransferAssembler::beginPicture(quint64 id, quint32 size, bool hasDuration,
                                                           quint16 duration)
{
    if (size == 0 || size > kMaxPictureBytes)
        return fail(QStringLiteral("picture %1 announced with %2 bytes").arg(id).arg(size));
    const int gif = m_store.indexOf(ContentStore::Gif, id);
    const bool frameOfOpenGif = gif >= 0 && !m_store.at(gif).complete
        && static_cast<quint32>(m_store.at(gif).frames.size()) < m_store.at(gif).frameCount;
    if (hasDuration && !frameOfOpenGif)
        return fail(QStringLiteral("frame header for %1 without an open GIF").arg(id));
    if (!frameOfOpenGif && (gif >= 0 || m_store.indexOf(ContentStore::Image, id) >= 0))
        return {1, QStringLiteral("picture %1 already stored").arg(id), false};
    if (m_store.freeSlots() < 1)
        return {6, QStringLiteral("no free slot for picture %1").arg(id), false};

    ContentStore::Frame frame;
    frame.expected = size;
    frame.hasDuration = hasDuration;
    frame.duration = duration;
    if (frameOfOpenGif) {
        m_store.at(gif).frames.append(frame);
        m_kind = ContentStore::Gif;
    } else {
        ContentStore::Item item;
        item.kind = ContentStore::Image;
        item.id = id;
        item.frames.append(frame);
        m_store.append(item);
        m_kind = ContentStore::Image;
    }
    m_active = true;
    m_id = id;
    m_expected = size;
    m_received = 0;
    return {5, QString(), true};
}

TransferAssembler::Outcome TransferAssembler::beginGif(quint64 id, quint32 frames)
{
    if (frames == 0 || frames > 0xFFFF)
        return fail(QStringLiteral("GIF %1 announced with %2 frames").arg(id).arg(frames));
    if (m_store.indexOf(ContentStore::Gif, id) >= 0 || m_store.indexOf(ContentStore::Image, id) >= 0)
        return {1, QStringLiteral("GIF %1 already stored").arg(id), false};
    if (static_cast<quint32>(m_store.freeSlots()) < frames)
        return {6, QStringLiteral("no room for the %1 frames of GIF %2").arg(frames).arg(id), false};
    ContentStore::Item item;
    item.kind = ContentStore::Gif;
    item.id = id;
    item.frameCount = frames;
    m_store.append(item);
    return {0, QStringLiteral("GIF %1 announced, %2 frames").arg(id).arg(frames), true};
}

TransferAssembler::Outcome TransferAssembler::beginSlideshow(quint64 id, quint16 count, quint16 interval)
{
    if (count == 0)
        return fail(QStringLiteral("slideshow %1 announced without pictures").arg(id));
    if (m_store.indexOf(ContentStore::Slideshow, id) >= 0)
        return {1, QStringLiteral("slideshow %1 already stored").arg(id), false};
    ContentStore::Item item;
    item.kind = ContentStore::Slideshow;
    item.id = id;
    item.imageCount = count;
    item.interval = interval;
    m_store.append(item);
    m_kind = ContentStore::Slideshow;
    m_active = true;
    m_id = id;
    m_expected = count * 8u;
    m_received = 0;
    return {5, QString(), true};
}

TransferAssembler::Outcome TransferAssembler::part(const QByteArray &data)
{
    if (!m_active)
        return {2, QStringLiteral("data part without a transfer"), false};
    const quint32 size = static_cast<quint32>(data.size());
    if (size > kPartSize)
        return fail(QStringLiteral("part of %1 bytes for %2").arg(size).arg(m_id));
    if (m_received + size > m_expected)
        return fail(QStringLiteral("%1 bytes for %2 exceed the announced %3")
                        .arg(m_received + size).arg(m_id).arg(m_expected));
    if (m_received + size < m_expected && size != kPartSize)
        return fail(QStringLiteral("short part of %1 bytes in the middle of %2").arg(size).arg(m_id));
    if (m_kind == ContentStore::Slideshow && size % 8 != 0)
        return fail(QStringLiteral("slideshow part of %1 bytes").arg(size));

    const int index = m_store.indexOf(m_kind, m_id);
    if (index < 0)
        return fail(QStringLiteral("item %1 vanished during its transfer").arg(m_id));
    ContentStore::Item &item = m_store.at(index);
    m_received += size;
    if (m_kind == ContentStore::Slideshow) {
        for (int at = 0; at < data.size(); at += 8)
            item.images.append(le64(data, at));
    } else {
        item.frames.last().data.append(data);
    }
    if (m_received < m_expected)
        return {5, QString(), false};

    m_active = false;
    if (m_kind == ContentStore::Slideshow) {
        item.seal();
        return {0, QStringLiteral("stored slideshow %1, %2 pictures").arg(m_id).arg(item.images.size()),
                true};
    }
    ContentStore::Frame &frame = item.frames.last();
    frame.complete = true;
    frame.sha256 = ContentStore::sha256Hex(frame.data);
    if (m_frameListener)
        m_frameListener(m_id, item.frames.size(), frame.data);
    if (m_kind == ContentStore::Image) {
        item.seal();
        return {0, QStringLiteral("stored image %1, %2 bytes").arg(m_id).arg(m_expected), true};
    }
    if (static_cast<quint32>(item.frames.size()) == item.frameCount) {
        item.seal();
        return {0, QStringLiteral("stored GIF %1, %2 frames").arg(m_id).arg(item.frameCount), true};
    }
    return {0, QStringLiteral("stored frame %1 of GIF %2").arg(item.frames.size()).arg(m_id), true};
}

bool TransferAssembler::cancel()
{
    if (!m_active)
        return false;
    m_active = false;
    const int index = m_store.indexOf(m_kind, m_id);
    if (index < 0)
        return false;
    if (m_kind == ContentStore::Gif) {
        m_store.at(index).frames.removeLast();
        return true;
    }
    return m_store.remove(m_kind, m_id);
}

void TransferAssembler::revalidate()
{
    if (m_active && m_store.indexOf(m_kind, m_id) < 0)
        m_active = false;
}

QJsonValue TransferAssembler::toJson() const
{
    if (!m_active)
        return QJsonValue::Null;
    return QJsonObject{
        {QStringLiteral("id"), QString::number(m_id)},
        {QStringLiteral("kind"), ContentStore::kindName(m_kind)},
        {QStringLiteral("announcedBytes"), static_cast<int>(m_expected)},
    };
}
