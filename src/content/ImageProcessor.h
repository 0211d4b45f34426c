#pragma once

#include "ImageData.h"

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QQueue>

// Turns downloaded picture files into what a device shows: a 400 × 400 square
// of the picture as its maker meant it to be seen (its EXIF orientation
// applied), over black where it is transparent, turned by 180 degrees,
// JPEG-encoded; an animation becomes a short list of such pictures with
// display times. Works through a queue on its own worker thread
// (see ImageConverter, which owns that thread). Every dequeued item ends in
// exactly one of processedImage (converted, or any non-picture type unchanged)
// and conversionFailed (the file's link and why).
class ImageProcessor : public QObject
{
    Q_OBJECT

public:
    static constexpr int OutputSide = 400;
    static constexpr int MinFrameMs = 130;
    static constexpr int PreferredMaxFrames = 24;
    // Decompression bombs: refused from what the header announces, before any
    // pixel is allocated.
    static constexpr qint64 MaxPixels = 64000000;
    static constexpr int MaxAnimationFrames = 2000;
    // The decoder redraws the whole screen for every frame: a small file of
    // many frames on a large screen would hold the image thread for minutes.
    // 400 megapixels: a thousand frames of 630 x 630, or six of 8000 x 8000.
    static constexpr qint64 MaxAnimationPixels = 400000000;

    explicit ImageProcessor(QObject *parent = nullptr);

    // Any thread.
    void enqueue(const ImageData &item);
    bool hasQueued() const;

    // The conversion steps, each usable on its own (tests, benchmark).
    // Centred square, over black, turned by 180 degrees, scaled to OutputSide.
    static QImage convert(const QImage &image);
    // Decodes and converts a still, upright as its orientation says; a null
    // image and the reason (naming the format when known) when it cannot.
    static QImage convertStill(const QByteArray &bytes, QString *reason);
    // One frame per kept animation step; empty with the reason when none.
    static QVector<ImageFrame> convertAnimation(const QByteArray &bytes, QString *reason);
    static QByteArray encode(const QImage &image);

public slots:
    // Runs on the worker thread until the queue is empty or the thread is asked
    // to stop; then emits processingFinished.
    void processQueue();

signals:
    void processedImage(ImageData imageData);
    void conversionFailed(QString link, QString reason);
    void processingFinished();

private:
    bool takeNext(ImageData *item);
    static bool convertItem(ImageData *item, QString *reason);

    mutable QMutex m_queueMutex;
    QQueue<ImageData> m_queue;
};
