#pragma once

#include "ImageData.h"

#include <QHash>
#include <QString>

// Converted pictures shared by all devices, keyed by file link, within a memory
// budget, and placeholders for files still being downloaded or converted.
//
// - A placeholder (insertPlaceholder) holds no frames; it reads as pending and
//   is never evicted. insert() replaces it with the converted picture.
// - Beyond the budget, converted pictures are evicted least recently used first
//   (value() counts as a use). A link that is retained is never evicted: the
//   publisher retains each link a campaign in progress waits for and releases
//   it when that campaign ends (counts: two campaigns, two retains).
// - An evicted picture reads as absent (contains() false), so the publisher
//   downloads the file again when it next needs it.
// The retained pictures alone may exceed the budget; nothing is evicted for them.
//
// QCache evicts by cost alone and cannot keep an entry that is in use, hence
// this small class. Not thread-safe: the GUI thread owns it.
class ImageCache
{
public:
    static constexpr qint64 DefaultBudgetBytes = 64 * 1024 * 1024;

    explicit ImageCache(qint64 budgetBytes = DefaultBudgetBytes);

    qint64 budget() const { return m_budget; }
    void setBudget(qint64 bytes);
    qint64 usedBytes() const { return m_used; }

    bool contains(const QString &link) const { return m_entries.contains(link); }
    bool isPending(const QString &link) const;   // a placeholder
    bool isConverted(const QString &link) const; // has frames
    // The entry (a default ImageData when absent); marks a converted picture used.
    ImageData value(const QString &link);

    void insertPlaceholder(int type, const QString &link);
    // Stores a converted picture under its link, replacing a placeholder or an
    // older picture, then evicts beyond the budget.
    void insert(const ImageData &converted);
    void remove(const QString &link);
    void clear();

    void retain(const QString &link);
    void release(const QString &link);
    int retainCount(const QString &link) const { return m_retained.value(link); }

private:
    struct Entry {
        ImageData data;
        qint64 bytes = 0;
        quint64 lastUse = 0;
    };

    static qint64 sizeOf(const ImageData &data);
    void evictBeyondBudget();

    qint64 m_budget;
    qint64 m_used = 0;
    quint64 m_clock = 0;
    QHash<QString, Entry> m_entries;
    QHash<QString, int> m_retained;   // may name links not (or no longer) cached
};
