#include "ImageProcessor.h"

#include "GifTimeline.h"
#include "PictureFormat.h"

#include <QBuffer>
#include <QImageReader>
#include <QMutexLocker>
#include <QPainter>
#include <QThread>
#include <QTransform>

namespace {

const char *const kOutputFormat = "JPG";
const char *const kAnimationFormat = "GIF";
constexpr int kDotsPerMeter = 2835; // 72 dots per inch

using Orientation = QImageIOHandler::Transformations;

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

QString undecodable(const PictureFormat &format, const QImageReader &reader)
{
    return QStringLiteral("the %1 picture cannot be decoded (%2)").arg(format.name, reader.errorString());
}

// The centred square of the picture as it is shown (after its orientation), in
// the coordinates of the picture as it is stored, where the decoder clips.
QRect centreSquare(const QSize &stored, Orientation orientation)
{
    const bool quarterTurn = orientation & QImageIOHandler::TransformationRotate90;
    const QSize shown = quarterTurn ? stored.transposed() : stored;
    const int side = qMin(shown.width(), shown.height());
    QRect square((shown.width() - side) / 2, (shown.height() - side) / 2, side, side);
    // Undone in reverse: the quarter turn (clockwise) took the stored point
    // (x, y) to (height - 1 - y, x); the mirrors came before it.
    if (quarterTurn)
        square.moveTo(square.top(), stored.height() - side - square.left());
    if (orientation & QImageIOHandler::TransformationMirror)
        square.moveLeft(stored.width() - side - square.left());
    if (orientation & QImageIOHandler::TransformationFlip)
        square.moveTop(stored.height() - side - square.top());
    return square;
}

// The round display shows black where a picture has nothing: transparent
// pixels are composited over black, whatever colour they happen to store.
// Everything ends as 32-bit RGB, so that the encoder always writes a colour
// JPEG (never a grey-scale one) whatever the source's depth or palette.
QImage opaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::black);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

// The device shows its pictures turned by 180 degrees; the file's own
// orientation is applied in the same step. A half turn commutes with every
// mirror and quarter turn, so the two fold into one mirror and at most one
// quarter turn, in the image reader's order: mirror first, then turn.
QImage turnedForDevice(const QImage &image, Orientation orientation)
{
    QImage turned = image.mirrored(!(orientation & QImageIOHandler::TransformationMirror),
                                   !(orientation & QImageIOHandler::TransformationFlip));
    if (orientation & QImageIOHandler::TransformationRotate90)
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

QImage forDevice(const QImage &square, Orientation orientation)
{
    return turnedForDevice(opaque(square), orientation)
        .scaled(ImageProcessor::OutputSide, ImageProcessor::OutputSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
    return forDevice(image.copy(centreSquare(image.size(), QImageIOHandler::TransformationNone)),
                     QImageIOHandler::TransformationNone);
}

QImage ImageProcessor::convertStill(const QByteArray &bytes, QString *reason)
{
    const PictureFormat format = PictureFormat::of(bytes);
    // Only the formats people upload reach a decoder: the other installed
    // plugins (icons, textures, old bitmaps) never see bytes from outside.
    if (!format.known()) {
        *reason = QStringLiteral("the picture cannot be decoded: its format is not recognised");
        return QImage();
    }
    if (!format.decodable()) {
        *reason = QStringLiteral("the picture cannot be decoded: the %1 format is not supported").arg(format.name);
        return QImage();
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format.decoder);
    // The orientation is applied below, to the square: clipping and scaling
    // happen in the stored picture's coordinates.
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        *reason = undecodable(format, reader);
        return QImage();
    }
    if (tooLarge(size)) {
        *reason = tooManyPixels(size);
        return QImage();
    }
    const Orientation orientation = reader.transformation();
    const QRect square = centreSquare(size, orientation);
    // The JPEG decoder scales by 1/2, 1/4 or 1/8 while it decodes: a large
    // picture is never decoded in full. Turning after scaling stays within
    // 35 dB of the exact order (see the image-processor tests).
    const bool decodeScaled = reader.format() == "jpeg" && square.width() >= 2 * OutputSide;
    if (decodeScaled) {
        reader.setClipRect(square);
        reader.setScaledSize(QSize(OutputSide, OutputSide));
    }
    QImage image;
    if (!reader.read(&image)) {
        *reason = undecodable(format, reader);
        return QImage();
    }
    return forDevice(decodeScaled ? image : image.copy(square), orientation);
}

QVector<ImageFrame> ImageProcessor::convertAnimation(const QByteArray &bytes, QString *reason)
{
    const GifTimeline timeline = GifTimeline::read(bytes, MaxAnimationFrames);
    if (!timeline.readable) {
        const PictureFormat format = PictureFormat::of(bytes);
        *reason = format.known() && format.name != QLatin1String("GIF")
            ? QStringLiteral("the animation cannot be decoded: the file is %1, not GIF").arg(format.name)
            : QStringLiteral("the animation cannot be decoded");
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
    if (image.isNull())
        return QByteArray();
    // The JPEG header carries the picture's resolution, which a new image takes
    // from the screen (or from a default without one): fixed, the same file
    // gives the same bytes in the window, in tamo-cli and in every test.
    QImage fixedResolution = image;
    fixedResolution.setDotsPerMeterX(kDotsPerMeter);
    fixedResolution.setDotsPerMeterY(kDotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!fixedResolution.save(&buffer, kOutputFormat, -1))
        return QByteArray();
    return bytes;
}
