#pragma once

#include "RPCCommand.h"

// Announces one item to the device: the header says what follows (an image, a
// GIF frame, a GIF container or a slideshow), the content itself follows in
// upload parts. The device accepts with status 0 or 5.
class TransferRPCCommand : public RPCCommand
{
    Q_OBJECT

public:
    // The type byte of transfer headers and delete requests.
    enum ContentType : quint8 {
        ImageContent = 1, // also every frame of a GIF
        SlideshowContent = 2,
        GifContent = 3,
    };

    TransferRPCCommand(const QByteArray &header, int resultKey = NoResult,
                       const QByteArray &resultValue = QByteArray(), QObject *parent = nullptr);

    // Header of an image (13 bytes) or, with a non-zero duration, of a GIF frame
    // (15 bytes).
    static QByteArray imageHeader(const QByteArray &id, quint32 dataSize, quint16 duration = 0);
    static QByteArray gifHeader(const QByteArray &id, quint32 frameCount);
    static QByteArray slideshowHeader(const QByteArray &id, quint16 imageCount, quint16 interval);
    // A frame's display time as the device counts it: tens of milliseconds,
    // rounded half away from zero, limited to what 16 bits hold.
    static quint16 frameDuration(int delayMs);

    quint8 commandId() const override;
    QString name() const override;
    QByteArray requestPayload() const override;
    bool isSuccess() const override;
    bool hasNextPart() const override;
    int resultKey() const override;
    QVariant result() const override;

private:
    const QByteArray m_header;
    const int m_resultKey;
    const QByteArray m_resultValue;
};
