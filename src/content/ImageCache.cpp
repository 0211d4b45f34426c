#include "ImageCache.h"

ImageCache::ImageCache(qint64 budgetBytes)
    : m_budget(budgetBytes)
{
}

void ImageCache::setBudget(qint64 bytes)
{
    m_budget = bytes;
    evictBeyondBudget();
}

bool ImageCache::isPending(const QString &link) const
{
    const auto it = m_entries.constFind(link);
    return it != m_entries.constEnd() && !it->data.isValid();
}

bool ImageCache::isConverted(const QString &link) const
{
    const auto it = m_entries.constFind(link);
    return it != m_entries.constEnd() && it->data.isValid();
}

ImageData ImageCache::value(const QString &link)
{
    const auto it = m_entries.find(link);
    if (it == m_entries.end())
        return ImageData();
    it->lastUse = ++m_clock;
    return it->data;
}

void ImageCache::insertPlaceholder(int type, const QString &link)
{
    remove(link);
    Entry entry;
    entry.data = ImageData(type, link, {});
    entry.lastUse = ++m_clock;
    m_entries.insert(link, entry);
}

void ImageCache::insert(const ImageData &converted)
{
    remove(converted.link);
    Entry entry;
    entry.data = converted;
    entry.bytes = sizeOf(converted);
    entry.lastUse = ++m_clock;
    m_entries.insert(converted.link, entry);
    m_used += entry.bytes;
    evictBeyondBudget();
}

void ImageCache::remove(const QString &link)
{
    const auto it = m_entries.find(link);
    if (it == m_entries.end())
        return;
    m_used -= it->bytes;
    m_entries.erase(it);
}

void ImageCache::clear()
{
    m_entries.clear();
    m_used = 0;
}

void ImageCache::retain(const QString &link)
{
    ++m_retained[link];
}

void ImageCache::release(const QString &link)
{
    const auto it = m_retained.find(link);
    if (it == m_retained.end())
        return;
    if (--it.value() <= 0)
        m_retained.erase(it);
    evictBeyondBudget();
}

qint64 ImageCache::sizeOf(const ImageData &data)
{
    qint64 bytes = data.link.size() * qint64(sizeof(QChar));
    for (const ImageFrame &frame : data.frames)
        bytes += frame.data.size() + qint64(sizeof(ImageFrame));
    return bytes;
}

void ImageCache::evictBeyondBudget()
{
    while (m_used > m_budget) {
        auto victim = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (!it->data.isValid() || m_retained.contains(it.key()))
                continue;
            if (victim == m_entries.end() || it->lastUse < victim->lastUse)
                victim = it;
        }
        if (victim == m_entries.end())
            return; // only retained pictures and placeholders are left
        m_used -= victim->bytes;
        m_entries.erase(victim);
    }
}
