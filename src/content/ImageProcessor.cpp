#include "ImageProcessor.h"

#include "GifTimeline.h"

#include <QBuffer>
#include <QImageReader>
#include <QMutexLocker>
#include <QThread>

namespace {

const char *const kOutputFormat = "JPG";
const char *const kAnimationFormat = "GIF";

bool interrupted()
{
    return QThread::currentThread()->isInterruptionRequested();
}

QString tooManyPixels(const QSize &size)
{
    return QStringLiteral("the picture announces %1 x %2 pixels, more than %3 megapixels")
        .arg(size.width())
        .arg(size.height())
        .arg(ImageProcessor::MaxPixels / 1000000);
}

bool tooLarge(const QSize &size)
{
    return qint64(size.width()) * size.height() > ImageProcessor::MaxPixels;
}

} // namespace

ImageProcessor::ImageProcessor(QObject *parent)
    : QObject(parent)
{
}

void ImageProcessor::enqueue(const ImageData &item)
{
    QMutexLocker locker(&m_queueMutex);
    m_queue.enqueue(item);
}

bool ImageProcessor::hasQueued() const
{
    QMutexLocker locker(&m_queueMutex);
    return !m_queue.isEmpty();
}

bool ImageProcessor::takeNext(ImageData *item)
{
    QMutexLocker locker(&m_queueMutex);
    if (m_queue.isEmpty())
        return false;
    *item = m_queue.dequeue();
    return true;
}

void ImageProcessor::processQueue()
{
    ImageData item;
    while (!interrupted() && takeNext(&item)) {
        QString reason;
        if (convertItem(&item, &reason))
            emit processedImage(item);
        else
            emit conversionFailed(item.link, reason);
    }
    emit processingFinished();
}

bool ImageProcessor::convertItem(ImageData *item, QString *reason)
{
    if (item->type != ImageType && item->type != GifType)
        return true;
    const QByteArray bytes = item->frames.isEmpty() ? QByteArray() : item->frames.first().data;
    if (item->type == GifType) {
        item->frames = convertAnimation(bytes, reason);
        return !item->frames.isEmpty();
    }
    const QImage picture = convertStill(bytes, reason);
    const QByteArray encoded = picture.isNull() ? QByteArray() : encode(picture);
    if (encoded.isEmpty()) {
        if (reason->isEmpty())
            *reason = QStringLiteral("the converted picture cannot be encoded");
        item->frames.clear();
        return false;
    }
    item->frames = {ImageFrame{encoded, 0}};
    return true;
}

QImage ImageProcessor::convert(const QImage &image)
{
    const int side = qMin(image.width(), image.height());
    const QRect square((image.width() - side) / 2, (image.height() - side) / 2, side, side);
    return image.copy(square)
        .mirrored(true, true)
        .scaled(OutputSide, OutputSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QImage ImageProcessor::convertStill(const QByteArray &bytes, QString *reason)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        *reason = QStringLiteral("the picture cannot be decoded (%1)").arg(reader.errorString());
        return QImage();
    }
    if (tooLarge(size)) {
        *reason = tooManyPixels(size);
        return QImage();
    }
    const int side = qMin(size.width(), size.height());
    const QRect square((size.width() - side) / 2, (size.height() - side) / 2, side, side);
    // The JPEG decoder scales by 1/2, 1/4 or 1/8 while it decodes: a large
    // picture is never decoded in full. Turning after scaling stays within
    // 35 dB of the exact order (see the image-processor tests).
    const bool decodeScaled = reader.format() == "jpeg" && side >= 2 * OutputSide;
    if (decodeScaled) {
        reader.setClipRect(square);
        reader.setScaledSize(QSize(OutputSide, OutputSide));
    }
    QImage image;
    if (!reader.read(&image)) {
        *reason = QStringLiteral("the picture cannot be decoded (%1)").arg(reader.errorString());
        return QImage();
    }
    return decodeScaled ? image.mirrored(true, true) : convert(image);
}

QVector<ImageFrame> ImageProcessor::convertAnimation(const QByteArray &bytes, QString *reason)
{
    const GifTimeline timeline = GifTimeline::read(bytes, MaxAnimationFrames);
    if (!timeline.readable) {
        *reason = QStringLiteral("the animation cannot be decoded");
        return {};
    }
    if (timeline.delays.size() > MaxAnimationFrames) {
        *reason = QStringLiteral("the animation has more than %1 frames").arg(MaxAnimationFrames);
        return {};
    }
    if (tooLarge(timeline.screen) || timeline.largestFramePixels > MaxPixels) {
        *reason = tooManyPixels(timeline.screen);
        return {};
    }
    const qint64 framePixels = qMax(qint64(timeline.screen.width()) * timeline.screen.height(),
                                    timeline.largestFramePixels);
    if (framePixels * timeline.delays.size() > MaxAnimationPixels) {
        *reason = QStringLiteral("the animation announces %1 frames of %2 x %3 pixels, more than %4 megapixels in all")
                      .arg(timeline.delays.size())
                      .arg(timeline.screen.width())
                      .arg(timeline.screen.height())
                      .arg(MaxAnimationPixels / 1000000);
        return {};
    }
    const int count = timeline.delays.size();
    int threshold = MinFrameMs;
    if (count > PreferredMaxFrames)
        threshold = qMax(timeline.totalMs() / PreferredMaxFrames, MinFrameMs);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, kAnimationFormat);
    QVector<ImageFrame> frames;
    QByteArray held;
    int accumulated = 0;
    for (int i = 0; i < count; ++i) {
        if (interrupted()) {
            *reason = QStringLiteral("the conversion was interrupted");
            return {};
        }
        QImage image;
        if (!reader.read(&image))
            break;
        if (accumulated == 0) {
            held = encode(convert(image));
            if (held.isEmpty())
                break;
        }
        accumulated += timeline.delays.at(i);
        if (accumulated >= threshold) {
            frames.append(ImageFrame{held, accumulated});
            accumulated = 0;
        }
    }
    // Frames that never reach the threshold (a single frame, zero delays, a
    // short total) still show: the first of them, for at least the minimum.
    if (frames.isEmpty() && !held.isEmpty())
        frames.append(ImageFrame{held, qMax(accumulated, int(MinFrameMs))});
    if (frames.isEmpty())
        *reason = QStringLiteral("the animation has no frame that can be decoded");
    return frames;
}

QByteArray ImageProcessor::encode(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, kOutputFormat, -1))
        return QByteArray();
    return bytes;
}
