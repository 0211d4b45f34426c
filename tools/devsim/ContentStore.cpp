#include "ContentStore.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QtEndian>

namespace {

QString idText(quint64 id)
{
    return QString::number(id);
}

} // namespace

int ContentStore::Item::slotsUsed() const
{
    return kind == Slideshow ? 0 : frames.size();
}

int ContentStore::Item::size() const
{
    if (kind == Slideshow)
        return images.size() * 8;
    int total = 0;
    for (const Frame &frame : frames)
        total += frame.data.size();
    return total;
}

QByteArray ContentStore::Item::bytes() const
{
    QByteArray all;
    if (kind == Slideshow) {
        for (const quint64 image : images) {
            char raw[8];
            qToLittleEndian(image, raw);
            all.append(raw, 8);
        }
        return all;
    }
    for (const Frame &frame : frames)
        all.append(frame.data);
    return all;
}

void ContentStore::Item::seal()
{
    complete = true;
    // A still picture is its one frame, whose hash is known already: hashing
    // 30 kB again would hold up the answer to the transfer's last part.
    if (kind == Image && frames.size() == 1 && frames.first().complete
        && !frames.first().sha256.isEmpty())
        sha256 = frames.first().sha256;
    else
        sha256 = sha256Hex(bytes());
}

QByteArray ContentStore::sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

ContentStore::ContentStore(int slotCount)
    : m_slots(slotCount)
{
}

int ContentStore::usedSlots() const
{
    int used = 0;
    for (const Item &item : m_items)
        used += item.slotsUsed();
    return used;
}

int ContentStore::indexOf(Kind kind, quint64 id) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items.at(i).kind == kind && m_items.at(i).id == id)
            return i;
    return -1;
}

int ContentStore::append(const Item &item)
{
    m_items.append(item);
    return m_items.size() - 1;
}

bool ContentStore::remove(Kind kind, quint64 id)
{
    const int index = indexOf(kind, id);
    if (index < 0)
        return false;
    m_items.removeAt(index);
    if (indexOf(Image, id) < 0 && indexOf(Gif, id) < 0 && indexOf(Slideshow, id) < 0)
        forgetReferences(id);
    return true;
}

int ContentStore::removeIncomplete()
{
    int removed = 0;
    for (int i = m_items.size() - 1; i >= 0; --i) {
        if (!m_items.at(i).complete) {
            const quint64 id = m_items.at(i).id;
            m_items.removeAt(i);
            if (!hasComplete(id))
                forgetReferences(id);
            ++removed;
        }
    }
    return removed;
}

void ContentStore::clear()
{
    m_items.clear();
    m_defaultContent = 0;
    m_charging.clear();
}

bool ContentStore::hasComplete(quint64 id) const
{
    for (const Item &item : m_items)
        if (item.id == id && item.complete)
            return true;
    return false;
}

void ContentStore::forgetReferences(quint64 id)
{
    if (m_defaultContent == id)
        m_defaultContent = 0;
    m_charging.remove(id);
    for (auto it = m_charging.begin(); it != m_charging.end(); ++it)
        if (it.value() == id)
            it.value() = 0;
}

QVector<quint64> ContentStore::pictureSlots() const
{
    QVector<quint64> list;
    for (const Item &item : m_items)
        for (int i = 0; i < item.slotsUsed(); ++i)
            list.append(item.id);
    return list;
}

QVector<quint64> ContentStore::ids(Kind kind) const
{
    QVector<quint64> list;
    for (const Item &item : m_items)
        if (item.kind == kind)
            list.append(item.id);
    return list;
}

QVector<quint64> ContentStore::slideshowPictures() const
{
    QVector<quint64> list;
    for (const Item &item : m_items)
        if (item.kind == Slideshow)
            for (const quint64 image : item.images)
                if (!list.contains(image))
                    list.append(image);
    return list;
}

QString ContentStore::kindName(Kind kind)
{
    switch (kind) {
    case Image:
        return QStringLiteral("image");
    case Gif:
        return QStringLiteral("gif");
    case Slideshow:
        return QStringLiteral("slideshow");
    }
    return QString();
}

QJsonObject ContentStore::toJson() const
{
    QJsonArray items;
    for (const Item &item : m_items) {
        QJsonObject o{
            {QStringLiteral("id"), idText(item.id)},
            {QStringLiteral("kind"), kindName(item.kind)},
            {QStringLiteral("complete"), item.complete},
            {QStringLiteral("frames"), item.kind == Slideshow ? 0 : item.frames.size()},
            {QStringLiteral("size"), item.size()},
            {QStringLiteral("sha256"),
             QString::fromLatin1(item.complete ? item.sha256 : sha256Hex(item.bytes()))},
        };
        if (item.kind == Image && !item.frames.isEmpty())
            o.insert(QStringLiteral("announcedSize"), static_cast<double>(item.frames.first().expected));
        if (item.kind == Gif) {
            QJsonArray sizes, hashes, durations;
            for (const Frame &frame : item.frames) {
                sizes.append(frame.data.size());
                hashes.append(QString::fromLatin1(frame.complete ? frame.sha256
                                                                 : sha256Hex(frame.data)));
                durations.append(frame.hasDuration ? frame.duration : 0);
            }
            o.insert(QStringLiteral("announcedFrames"), static_cast<int>(item.frameCount));
            o.insert(QStringLiteral("frameSizes"), sizes);
            o.insert(QStringLiteral("frameSha256"), hashes);
            o.insert(QStringLiteral("durations"), durations);
        } else if (item.kind == Slideshow) {
            QJsonArray images;
            for (const quint64 image : item.images)
                images.append(idText(image));
            o.insert(QStringLiteral("images"), images);
            o.insert(QStringLiteral("announcedImages"), item.imageCount);
            o.insert(QStringLiteral("interval"), item.interval);
        }
        items.append(o);
    }
    QJsonArray charging;
    for (auto it = m_charging.cbegin(); it != m_charging.cend(); ++it)
        charging.append(QJsonObject{{QStringLiteral("content"), idText(it.key())},
                                    {QStringLiteral("picture"), idText(it.value())}});
    return QJsonObject{
        {QStringLiteral("slots"), m_slots},
        {QStringLiteral("freeSlots"), freeSlots()},
        {QStringLiteral("items"), items},
        {QStringLiteral("defaultContent"), m_defaultContent ? idText(m_defaultContent) : QString()},
        {QStringLiteral("chargingDisplay"), charging},
    };
}
