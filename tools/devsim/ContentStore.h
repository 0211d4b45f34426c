#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QVector>
#include <QtGlobal>

// The device's flash store. Still pictures take one slot, GIF animations one
// slot per frame (the container itself none), slideshows none (they only list
// picture identifiers). Items keep the order in which they arrived, which is
// the order of the listings. An item whose transfer did not finish stays in
// flash, incomplete, until a clean-up, a cancel, a delete or an erase.
class ContentStore
{
public:
    enum Kind : quint8 { Image = 1, Slideshow = 2, Gif = 3 };

    struct Frame {
        QByteArray data;
        quint32 expected = 0;
        quint16 duration = 0;   // tens of milliseconds; 0 when the header had none
        bool hasDuration = false;
        bool complete = false;
        QByteArray sha256;      // hex, set when the frame completes
    };
    struct Item {
        Kind kind = Image;
        quint64 id = 0;
        QVector<Frame> frames;    // a still: one; a GIF: those received so far
        quint32 frameCount = 0;   // a GIF: frames announced
        quint16 imageCount = 0;   // a slideshow: identifiers announced
        quint16 interval = 0;     // a slideshow: as received
        QVector<quint64> images;  // a slideshow: identifiers received
        bool complete = false;
        QByteArray sha256;        // hex, set when the item completes

        int slotsUsed() const;
        int size() const;
        QByteArray bytes() const; // pictures: all frame bytes; slideshows: the identifier bytes
        // Marks the item complete and remembers its hash (snapshots are frequent).
        void seal();
    };

    static QByteArray sha256Hex(const QByteArray &bytes);

    explicit ContentStore(int slotCount);

    int slotCount() const { return m_slots; }
    int usedSlots() const;
    int freeSlots() const { return m_slots - usedSlots(); }

    int indexOf(Kind kind, quint64 id) const;
    const Item &at(int index) const { return m_items.at(index); }
    Item &at(int index) { return m_items[index]; }
    const QVector<Item> &items() const { return m_items; }
    int append(const Item &item);

    // Removes the item and every reference to it (default content, charging
    // display). Returns false when there is no such item.
    bool remove(Kind kind, quint64 id);
    int removeIncomplete();
    void clear();
    // Completed item of any kind with that identifier.
    bool hasComplete(quint64 id) const;

    // Listings, in slot order: one entry per picture slot (a GIF's identifier
    // once per frame), the GIF containers, the slideshows, and the pictures the
    // slideshows name.
    QVector<quint64> pictureSlots() const;
    QVector<quint64> ids(Kind kind) const;
    QVector<quint64> slideshowPictures() const;

    quint64 defaultContent() const { return m_defaultContent; }
    void setDefaultContent(quint64 id) { m_defaultContent = id; }
    // Content identifier -> picture shown while charging (0: none).
    const QMap<quint64, quint64> &chargingDisplay() const { return m_charging; }
    void setChargingDisplay(quint64 content, quint64 picture) { m_charging.insert(content, picture); }

    static QString kindName(Kind kind);
    QJsonObject toJson() const;

private:
    void forgetReferences(quint64 id);

    int m_slots;
    QVector<Item> m_items;
    quint64 m_defaultContent = 0;
    QMap<quint64, quint64> m_charging;
};
