// Picture conversion on the image thread: the centre square turned and scaled,
// animation frames merged to their threshold, every failure reported with the
// file's link and the format named (never an empty frame), decompression bombs
// refused from their header, no picture left waiting, a destructor that does not
// wait for the queue, and the scaled JPEG decode within 35 dB of the exact
// conversion. Photos are shown upright whatever their EXIF orientation, on both
// decoding paths; every format variant people upload (a table that a script
// draws, each file next to a plain PNG of the same pixels) converts like its
// plain PNG, transparency composited over black. The cache of
// converted pictures stays within its budget without losing what a campaign
// waits for: least recently used pictures go first, retained ones and
// placeholders never, and what went reads as absent so that it is fetched again.
#include "ImageCache.h"
#include "ImageConverter.h"
#include "ImageProcessor.h"
#include "SimProcess.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cmath>

Q_DECLARE_METATYPE(QVector<int>)

namespace {

QByteArray encoded(const QImage &image, const char *format, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// 1200 × 800: 200-pixel strips left (red) and right (blue) that the crop removes,
// and four quadrants in the centre square that the turn swaps.
QImage quadrants()
{
    QImage image(1200, 800, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 200, 800, Qt::red);
    painter.fillRect(1000, 0, 200, 800, Qt::blue);
    painter.fillRect(200, 0, 400, 400, Qt::white);
    painter.fillRect(600, 0, 400, 400, Qt::black);
    painter.fillRect(200, 400, 400, 400, Qt::green);
    painter.fillRect(600, 400, 400, 400, Qt::yellow);
    return image;
}

// Something like a photograph: gradients, shapes, text and fine lines.
QImage photograph(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(250, 150, 60));
    sky.setColorAt(1, QColor(30, 20, 90));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 12; ++i) {
        painter.setBrush(QColor::fromHsv(i * 30, 160, 230));
        painter.setPen(QPen(Qt::white, 1 + i % 3));
        painter.drawEllipse(QPointF(width * (i + 1) / 13.0, height * (0.3 + 0.05 * (i % 5))), width / 20.0,
                            height / 14.0);
    }
    painter.setPen(QPen(QColor(20, 60, 30), 1));
    for (int x = 0; x < width; x += 7)
        painter.drawLine(x, height * 2 / 3, x + height / 3, height);
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), height / 30));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("TAMO 4000 x 3000 sample"));
    return image;
}

// `count` one-pixel frames of delayMs each on a screen of the given size
// (Qt reads GIFs but does not write them).
QByteArray animation(int count, int delayMs, QSize screen = QSize(1, 1))
{
    QByteArray gif("GIF89a");
    const auto le16 = [&gif](int value) { gif.append(char(value & 0xFF)).append(char(value >> 8)); };
    le16(screen.width());
    le16(screen.height());
    gif.append("\x80\0\0\xff\0\0\0\0\0", 9); // two colours: red and black
    for (int i = 0; i < count; ++i) {
        gif.append("\x21\xF9\x04\0", 4); // the frame's delay, in hundredths
        le16(delayMs / 10);
        gif.append("\0\0\x2C\0\0\0\0\x01\0\x01\0\0", 12); // one pixel at the origin
        gif.append("\x02\x02\x44\x01\0", 5);             // LZW: clear, colour 0, end
    }
    return gif.append(';');
}

// A JPEG whose header announces width × height over a small body.
QByteArray jpegAnnouncing(int width, int height)
{
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray bytes = encoded(small, "JPG");
    const int sof = bytes.indexOf("\xFF\xC0");
    bytes[sof + 5] = char(height >> 8);
    bytes[sof + 6] = char(height & 0xFF);
    bytes[sof + 7] = char(width >> 8);
    bytes[sof + 8] = char(width & 0xFF);
    return bytes;
}

bool near(QRgb pixel, QColor expected)
{
    return qAbs(qRed(pixel) - expected.red()) < 40 && qAbs(qGreen(pixel) - expected.green()) < 40
        && qAbs(qBlue(pixel) - expected.blue()) < 40;
}

double psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double squares = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = qRed(p[col]) - qRed(q[col]), dg = qGreen(p[col]) - qGreen(q[col]),
                      db = qBlue(p[col]) - qBlue(q[col]);
            squares += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = squares / (3.0 * x.width() * x.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

ImageData download(int type, const QByteArray &bytes, const QString &link = QStringLiteral("https://cdn/f"))
{
    return ImageData(type, link, {ImageFrame{bytes, 0}});
}

// The frames the device would receive for the file, decoded; empty with the
// reason when it was refused.
QVector<QImage> deviceFrames(int type, const QByteArray &bytes, QString *reason)
{
    ImageProcessor processor;
    QVector<QImage> frames;
    QObject::connect(&processor, &ImageProcessor::processedImage, [&frames](const ImageData &item) {
        for (const ImageFrame &frame : item.frames)
            frames << QImage::fromData(frame.data);
    });
    QObject::connect(&processor, &ImageProcessor::conversionFailed,
                     [reason](const QString &, const QString &why) { *reason = why; });
    processor.enqueue(download(type, bytes));
    processor.processQueue();
    return frames;
}

// The JPEG with an EXIF block that carries only the orientation (1 to 8).
QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    QByteArray exif("\xFF\xE1\0\x22" "Exif\0\0" "MM\0\x2A\0\0\0\x08" "\0\x01", 20);
    exif.append("\x01\x12\0\x03\0\0\0\x01\0", 9).append(char(orientation)).append("\0\0\0\0\0\0", 6);
    return QByteArray(jpeg).insert(2, exif);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestContentImages : public QObject
{
    Q_OBJECT

    QTemporaryDir m_formats;
    QString m_formatsFailure;

private slots:
    void initTestCase()
    {
        // Debian's Python, with PIL: another python3 may come first on PATH.
        const ToolRun run = runTool(QStringLiteral("/usr/bin/python3"),
                                    {QStringLiteral(TAMO_PICTURE_FORMATS_SCRIPT), m_formats.path()}, {}, 120000);
        if (run.exitCode != 0)
            m_formatsFailure = QStringLiteral("the format table was not drawn: ") + QString::fromLocal8Bit(run.err);
    }

    void convertsOnTheImageThread_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QVector<int>>("delays"); // of the frames that come back
        QTest::addColumn<QString>("failure");     // a word of the reason; empty: converted

        const QImage picture = quadrants();
        QTest::newRow("1200x800 JPEG: centre square, turned, 400x400")
            << 0 << encoded(picture, "JPG") << QVector<int>{0} << QString();
        QTest::newRow("1200x800 PNG: the same by the exact path")
            << 0 << encoded(picture, "PNG") << QVector<int>{0} << QString();
        QTest::newRow("10 frames of 50 ms: 3 of 150, the tenth dropped")
            << 1 << animation(10, 50) << QVector<int>{150, 150, 150} << QString();
        QTest::newRow("48 frames, 4800 ms in all: threshold 200")
            << 1 << animation(48, 100) << QVector<int>(24, 200) << QString();
        QTest::newRow("one frame below the threshold: kept for 130 ms")
            << 1 << animation(1, 100) << QVector<int>{130} << QString();
        QTest::newRow("zero delays: the first frame for 130 ms")
            << 1 << animation(5, 0) << QVector<int>{130} << QString();
        QTest::newRow("total under 130 ms: the first frame for 130 ms")
            << 1 << animation(3, 20) << QVector<int>{130} << QString();
        QTest::newRow("firmware file: unchanged") << -1 << QByteArray("DfuSe\x01rest", 10) << QVector<int>{0}
                                                   << QString();
        QTest::newRow("still that cannot be decoded") << 0 << QByteArray("<html>not found</html>")
                                                      << QVector<int>() << QStringLiteral("not recognised");
        QTest::newRow("HEIF still: the format named")
            << 0 << QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic" "\0\0\0\x08meta", 32) << QVector<int>()
            << QStringLiteral("HEIF format is not supported");
        QTest::newRow("AVIF still: the format named")
            << 0 << QByteArray("\0\0\0\x1C" "ftypavif\0\0\0\0avifmif1miaf" "\0\0\0\x08meta", 36) << QVector<int>()
            << QStringLiteral("AVIF format is not supported");
        QTest::newRow("JPEG with a broken header: the format named")
            << 0 << QByteArray("\xFF\xD8\xFF\xC0\0\x02garbage") << QVector<int>() << QStringLiteral("JPEG picture");
        QTest::newRow("animation without a frame")
            << 1 << animation(0, 0, QSize(40, 40)) << QVector<int>() << QStringLiteral("no frame");
        QTest::newRow("animation that is no GIF: the format named") << 1 << encoded(picture, "PNG") << QVector<int>()
                                                                        << QStringLiteral("is PNG, not GIF");
        QTest::newRow("bomb: JPEG announcing 9000x9000")
            << 0 << jpegAnnouncing(9000, 9000) << QVector<int>() << QStringLiteral("megapixels");
        QTest::newRow("bomb: GIF screen of 9000x9000")
            << 1 << animation(2, 100, QSize(9000, 9000)) << QVector<int>() << QStringLiteral("megapixels");
        QTest::newRow("bomb: GIF of 2001 frames")
            << 1 << animation(2001, 10) << QVector<int>() << QStringLiteral("2000 frames");
    }

    void convertsOnTheImageThread()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QVector<int>, delays);
        QFETCH(QString, failure);

        ImageConverter converter;
        QSignalSpy converted(&converter, &ImageConverter::converted);
        QSignalSpy failed(&converter, &ImageConverter::conversionFailed);
        const QString link = QStringLiteral("https://cdn/%1").arg(QTest::currentDataTag());
        converter.enqueue(download(type, bytes, link));
        QTRY_COMPARE_WITH_TIMEOUT(converted.size() + failed.size(), 1, 20000);

        if (!failure.isEmpty()) {
            QCOMPARE(converted.size(), 0);
            QCOMPARE(failed.first().at(0).toString(), link);
            QVERIFY2(failed.first().at(1).toString().contains(failure), qPrintable(failed.first().at(1).toString()));
            return;
        }
        QCOMPARE(failed.size(), 0);
        const ImageData item = converted.first().at(0).value<ImageData>();
        QCOMPARE(item.link, link);
        QCOMPARE(item.type, type);
        QVector<int> gotDelays;
        for (const ImageFrame &frame : item.frames)
            gotDelays << frame.delay;
        QCOMPARE(gotDelays, delays);
        if (type < 0) {
            QCOMPARE(item.frames.first().data, bytes);
            return;
        }
        for (const ImageFrame &frame : item.frames) {
            QBuffer buffer;
            buffer.setData(frame.data);
            QImageReader reader(&buffer);
            QCOMPARE(reader.format(), QByteArray("jpeg"));
            QCOMPARE(reader.size(), QSize(400, 400));
        }
        if (type == 0) {
            // Turned: each quadrant is now diagonally opposite; the strips are gone.
            const QImage out = QImage::fromData(item.frames.first().data);
            QVERIFY(near(out.pixel(100, 100), Qt::yellow));
            QVERIFY(near(out.pixel(300, 100), Qt::green));
            QVERIFY(near(out.pixel(100, 300), Qt::black));
            QVERIFY(near(out.pixel(300, 300), Qt::white));
            QVERIFY(near(out.pixel(2, 100), Qt::yellow));
            QVERIFY(near(out.pixel(397, 300), Qt::white));
        }
    }

    // The worker finds the queue empty, and a picture arrives before its thread
    // has ended: the thread is started again for it.
    void queuedAsTheWorkerFindsTheQueueEmpty()
    {
        ImageConverter converter;
        QSignalSpy converted(&converter, &ImageConverter::converted);
        std::atomic<bool> sent{false};
        connect(
            converter.processor(), &ImageProcessor::processingFinished, converter.processor(),
            [&] {
                if (!sent.exchange(true))
                    converter.enqueue(download(1, animation(2, 100), QStringLiteral("late")));
            },
            Qt::DirectConnection);
        converter.enqueue(download(1, animation(2, 100), QStringLiteral("first")));
        QTRY_COMPARE_WITH_TIMEOUT(converted.size(), 2, 10000);
        QCOMPARE(converted.at(1).at(0).value<ImageData>().link, QStringLiteral("late"));
    }

    void destructionInterruptsBetweenPictures()
    {
        const QByteArray picture = encoded(photograph(1600, 1200), "PNG");
        auto *converter = new ImageConverter;
        std::atomic<int> done{0};
        connect(
            converter->processor(), &ImageProcessor::processedImage, converter->processor(), [&] { ++done; },
            Qt::DirectConnection);
        const int queued = 40;
        for (int i = 0; i < queued; ++i)
            converter->enqueue(download(0, picture, QString::number(i)));
        delete converter;
        QVERIFY2(done < queued, qPrintable(QString::number(done)));
    }

    void scaledJpegDecodeStaysWithin35dB_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1200x800, decoded at 1/2") << QSize(1200, 800);
        QTest::newRow("1000x1000, decoded at 1/2 and scaled") << QSize(1000, 1000);
        QTest::newRow("4000x3000, decoded at 1/4 and scaled") << QSize(4000, 3000);
    }

    void scaledJpegDecodeStaysWithin35dB()
    {
        QFETCH(QSize, size);
        const QByteArray jpeg = encoded(photograph(size.width(), size.height()), "JPG");
        QString reason;
        const QImage scaled = ImageProcessor::convertStill(jpeg, &reason);
        QVERIFY2(!scaled.isNull(), qPrintable(reason));
        const QImage exact = ImageProcessor::convert(QImage::fromData(jpeg));
        QCOMPARE(scaled.size(), exact.size());
        const double db = psnr(scaled, exact);
        QVERIFY2(db >= 35.0, qPrintable(QStringLiteral("%1 dB").arg(db)));
    }

    // A phone stores a portrait photo landscape and says how to turn it: each
    // EXIF orientation, on the exact and on the scaled-decoding path, gives the
    // conversion of the upright picture. Stored = upright turned clockwise by
    // `turn` degrees, then mirrored.
    void photosAreShownUpright_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<int>("turn");
        QTest::addColumn<bool>("mirrorLeftRight");
        QTest::addColumn<bool>("mirrorTopBottom");
        const struct { int orientation; const char *name; int turn; bool leftRight; bool topBottom; } cases[] = {
            {1, "upright", 0, false, false},       {2, "mirrored", 0, true, false},
            {3, "upside down", 180, false, false}, {4, "mirrored upside down", 0, false, true},
            {5, "transposed", 90, true, false},    {6, "lying on its left side", -90, false, false},
            {7, "transversed", 90, false, true},   {8, "lying on its right side", 90, false, false},
        };
        for (const QSize &size : {QSize(600, 450), QSize(1600, 1200)}) {
            for (const auto &c : cases) {
                QTest::addRow("%d %s, %s", c.orientation, c.name, size.width() < 800 ? "exact" : "scaled decoding")
                    << c.orientation << size << c.turn << c.leftRight << c.topBottom;
            }
        }
    }

    void photosAreShownUpright()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, upright);
        QFETCH(int, turn);
        QFETCH(bool, mirrorLeftRight);
        QFETCH(bool, mirrorTopBottom);
        const QImage picture = photograph(upright.width(), upright.height());
        const QImage stored =
            picture.transformed(QTransform().rotate(turn)).mirrored(mirrorLeftRight, mirrorTopBottom);
        QString reason;
        const QImage shown = ImageProcessor::convertStill(withOrientation(encoded(stored, "JPG", 95), orientation),
                                                          &reason);
        QVERIFY2(!shown.isNull(), qPrintable(reason));
        const double db = psnr(shown, ImageProcessor::convert(picture));
        QVERIFY2(db >= 32.0, qPrintable(QStringLiteral("%1 dB").arg(db)));
    }

    // Every variant of a format converts like the plain PNG of the same pixels:
    // the first step of a table row's name is its file in the drawn folder.
    void convertsEveryFormat_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("frames"); // of references NAME.ref.N.png; 0: NAME.ref.png
        QTest::addColumn<double>("minDb");
        const double same = 50, lossy = 30;
        QTest::newRow("16-bit PNG") << "png-16-bit.png" << 0 << 0 << same;
        QTest::newRow("16-bit grey-scale PNG") << "png-16-bit-grey.png" << 0 << 0 << same;
        QTest::newRow("grey-scale PNG") << "png-grey.png" << 0 << 0 << same;
        QTest::newRow("palette PNG") << "png-palette.png" << 0 << 0 << same;
        QTest::newRow("interlaced PNG") << "png-interlaced.png" << 0 << 0 << same;
        QTest::newRow("PNG transparent over white and grey: black") << "png-alpha.png" << 0 << 0 << same;
        QTest::newRow("grey-scale PNG with transparency: over black") << "png-grey-alpha.png" << 0 << 0 << same;
        QTest::newRow("palette PNG with a transparent white: black")
            << "png-palette-transparent.png" << 0 << 0 << same;
        QTest::newRow("CMYK JPEG") << "jpeg-cmyk.jpg" << 0 << 0 << lossy;
        QTest::newRow("CMYK JPEG, decoded scaled") << "jpeg-cmyk-large.jpg" << 0 << 0 << lossy;
        QTest::newRow("progressive JPEG") << "jpeg-progressive.jpg" << 0 << 0 << lossy;
        QTest::newRow("progressive JPEG, decoded scaled") << "jpeg-progressive-large.jpg" << 0 << 0 << lossy;
        QTest::newRow("grey-scale JPEG") << "jpeg-grey.jpg" << 0 << 0 << lossy;
        QTest::newRow("lossy WebP") << "webp-lossy.webp" << 0 << 0 << lossy;
        QTest::newRow("lossless WebP") << "webp-lossless.webp" << 0 << 0 << same;
        QTest::newRow("WebP with transparency: over black") << "webp-alpha.webp" << 0 << 0 << same;
        QTest::newRow("TIFF") << "tiff.tiff" << 0 << 0 << same;
        QTest::newRow("TIFF with orientation 8: upright") << "tiff-orientation-8.tiff" << 0 << 0 << same;
        QTest::newRow("interlaced GIF") << "gif-interlaced.gif" << 1 << 1 << same;
        QTest::newRow("GIF whose transparent index is white: black") << "gif-transparent.gif" << 1 << 1 << same;
        QTest::newRow("GIF frames disposed to background, to previous, kept")
            << "gif-disposal.gif" << 1 << 4 << same;
    }

    void convertsEveryFormat()
    {
        QFETCH(QString, file);
        QFETCH(int, type);
        QFETCH(int, frames);
        QFETCH(double, minDb);
        QVERIFY2(m_formats.isValid() && m_formatsFailure.isEmpty(), qPrintable(m_formatsFailure));
        const QString base = m_formats.filePath(file.section(QLatin1Char('.'), 0, 0));
        QString reason;
        const QVector<QImage> shown = deviceFrames(type, fileBytes(m_formats.filePath(file)), &reason);
        QVERIFY2(!shown.isEmpty(), qPrintable(reason));
        QCOMPARE(shown.size(), qMax(frames, 1));
        for (int i = 0; i < shown.size(); ++i) {
            const QString reference = frames == 0 ? base + QStringLiteral(".ref.png")
                                                  : base + QStringLiteral(".ref.%1.png").arg(i);
            const QVector<QImage> expected = deviceFrames(0, fileBytes(reference), &reason);
            QVERIFY2(expected.size() == 1, qPrintable(reference + QLatin1Char(' ') + reason));
            QCOMPARE(shown.at(i).size(), QSize(400, 400));
            const double db = psnr(shown.at(i), expected.first());
            QVERIFY2(db >= minDb, qPrintable(QStringLiteral("frame %1: %2 dB").arg(i).arg(db)));
        }
    }

    void evictsWithinTheBudget_data()
    {
        // Each picture is about 1000 bytes; the budget of 2500 holds two.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("converted"); // links left with frames, in order
        QTest::addColumn<QString>("pending");   // placeholders left

        QTest::newRow("least recently used goes first") << "put a; put b; get a; put c" << "ac" << "";
        QTest::newRow("retained before it arrives: never evicted") << "retain a; put a; put b; put c" << "ac" << "";
        QTest::newRow("retained pictures alone may exceed the budget")
            << "retain a; retain b; retain c; put a; put b; put c" << "abc" << "";
        QTest::newRow("released: evicted at once when over the budget")
            << "retain a; retain b; retain c; put a; put b; put c; release a" << "bc" << "";
        QTest::newRow("retained twice, released once: kept")
            << "retain a; retain a; put a; put b; put c; release a; put d" << "ad" << "";
        QTest::newRow("placeholders cost nothing and stay") << "wait x; put a; put b; put c" << "bc" << "x";
        QTest::newRow("a converted picture replaces its placeholder") << "wait a; put a; put b" << "ab" << "";
        QTest::newRow("a smaller budget evicts at once") << "put a; put b; budget 1500" << "b" << "";
    }

    void evictsWithinTheBudget()
    {
        QFETCH(QString, script);
        QFETCH(QString, converted);
        QFETCH(QString, pending);

        ImageCache cache(2500);
        for (const QString &step : script.split(QStringLiteral("; "))) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0), link = step.section(QLatin1Char(' '), 1);
            if (verb == QLatin1String("put"))
                cache.insert(ImageData(0, link, {ImageFrame{QByteArray(1000, 'x'), 0}}));
            else if (verb == QLatin1String("wait"))
                cache.insertPlaceholder(1, link);
            else if (verb == QLatin1String("get"))
                QVERIFY(cache.value(link).isValid());
            else if (verb == QLatin1String("retain"))
                cache.retain(link);
            else if (verb == QLatin1String("release"))
                cache.release(link);
            else if (verb == QLatin1String("budget"))
                cache.setBudget(link.toLongLong());
            else
                QFAIL(qPrintable(step));
        }
        qint64 bytes = 0;
        for (const QChar c : QStringLiteral("abcdx")) {
            const QString link(c);
            QCOMPARE(cache.isConverted(link), converted.contains(c));
            QCOMPARE(cache.isPending(link), pending.contains(c));
            QCOMPARE(cache.contains(link), converted.contains(c) || pending.contains(c));
            const ImageData value = cache.value(link);
            QCOMPARE(value.isValid(), converted.contains(c));
            if (cache.contains(link))
                QCOMPARE(value.link, link);
            if (value.isValid())
                bytes += value.frames.first().data.size();
        }
        QVERIFY(cache.usedBytes() >= bytes && cache.usedBytes() < bytes + 200);
    }
};

QTEST_MAIN(TestContentImages)
#include "tst_content_images.moc"
