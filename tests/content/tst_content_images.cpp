// Picture conversion on the image thread: the centre square turned and scaled,
// animation frames merged to their threshold, every failure reported with the
// file's link (never an empty frame), decompression bombs refused from their
// header, no picture left waiting, a destructor that does not wait for the queue,
// and the scaled JPEG decode within 35 dB of the exact conversion. The cache of
// converted pictures stays within its budget without losing what a campaign
// waits for: least recently used pictures go first, retained ones and
// placeholders never, and what went reads as absent so that it is fetched again.
#include "ImageCache.h"
#include "ImageConverter.h"
#include "ImageProcessor.h"

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

} // namespace

class TestContentImages : public QObject
{
    Q_OBJECT

private slots:
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
                                                      << QVector<int>() << QStringLiteral("decoded");
        QTest::newRow("animation without a frame")
            << 1 << animation(0, 0, QSize(40, 40)) << QVector<int>() << QStringLiteral("no frame");
        QTest::newRow("animation that is no GIF") << 1 << encoded(picture, "PNG") << QVector<int>()
                                                  << QStringLiteral("decoded");
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
