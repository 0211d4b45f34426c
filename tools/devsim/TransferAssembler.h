#pragma once

#include "ContentStore.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QtGlobal>

#include <functional>

// Receives one content transfer at a time: the header (identifier 30) opens it
// and reserves what it needs in the store, the 48-byte parts (identifier 5)
// fill it, and the last part that makes up the announced size completes it.
// Every rule of the transfer is checked here; a broken rule answers status 2
// and ends the transfer, leaving the partly written item in flash.
class TransferAssembler
{
public:
    static constexpr int kPartSize = 48;
    static constexpr quint32 kMaxPictureBytes = 1024u * 1024u;

    struct Outcome {
        quint8 status = 0;
        QString log;          // a line for the device log, empty for none
        bool storeChanged = false;
    };

    // Called with the content id, the frame number (from 1) and the bytes of
    // every picture frame that completes.
    using FrameListener = std::function<void(quint64 id, int frame, const QByteArray &bytes)>;

    explicit TransferAssembler(ContentStore &store);

    void setFrameListener(FrameListener listener) { m_frameListener = std::move(listener); }

    Outcome header(const QByteArray &payload);
    Outcome part(const QByteArray &data);

    bool isActive() const { return m_active; }
    // Ends the transfer; the partly received item stays in flash.
    void abandon() { m_active = false; }
    // Ends the transfer and removes what it had written (the current frame of a
    // GIF, or the whole still or slideshow). True when the store changed.
    bool cancel();
    // After a delete or clean-up: ends the transfer when its item is gone.
    void revalidate();

    QJsonValue toJson() const;

private:
    Outcome fail(const QString &why);
    Outcome beginPicture(quint64 id, quint32 size, bool hasDuration, quint16 duration);
    Outcome beginGif(quint64 id, quint32 frames);
    Outcome beginSlideshow(quint64 id, quint16 count, quint16 interval);

    ContentStore &m_store;
    FrameListener m_frameListener;
    bool m_active = false;
    ContentStore::Kind m_kind = ContentStore::Image;
    quint64 m_id = 0;
    quint32 m_expected = 0;
    quint32 m_received = 0;
};
