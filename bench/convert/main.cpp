// tamo-bench-convert: what picture conversion costs, against ImageMagick.
//
// Generates its pictures (JPEG 1200x800 and 4000x3000, PNG 1000x1000, a phone's
// 4032x3024 JPEG with EXIF orientation 6, a progressive 4000x3000 JPEG, a
// 48-frame GIF), converts each with the product's ImageProcessor (read the file,
// decode, centre square, upright, turn, scale to 400x400, JPEG-encode), and runs
//    /usr/bin/convert FILE [-auto-orient] -gravity center -crop WxH+0+0 +repage -rotate 180 -resize 400x400 OUT.jpg
// on the same stills in the same run, in turns, so that load from elsewhere
// falls on both alike. Medians of the repeats; the last line is
//    ratio=R ms_still_small=A ms_still_large=B ms_gif=C ms_photo_turned=D ms_progressive=E
// R: ImageMagick's time over ours for the first three stills together; A, B:
// ours for the small and the large JPEG; C: ours for the GIF; D, E: ours for
// the turned phone photo and the progressive JPEG.
#include "BenchReport.h"
#include "ImageProcessor.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>

using namespace BenchReport;

namespace {

const char *const kImageMagick = "/usr/bin/convert";
constexpr int kGifFrames = 48;

// Something like a photograph, so that the encoders have real work.
QImage scene(int width, int height, int phase = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, width / 3.0, height);
    sky.setColorAt(0, QColor(250, 150, 60));
    sky.setColorAt(1, QColor(30, 20, 90));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 16; ++i) {
        painter.setBrush(QColor::fromHsv((i * 23 + phase * 7) % 360, 170, 230));
        painter.setPen(QPen(Qt::white, 1 + i % 3));
        const double x = width * (((i * 37 + phase * 3) % 100) / 100.0);
        painter.drawEllipse(QPointF(x, height * (0.2 + 0.04 * (i % 13))), width / 18.0, height / 12.0);
    }
    painter.setPen(QPen(QColor(20, 60, 30), 1));
    for (int x = 0; x < width; x += 9)
        painter.drawLine(x, height * 2 / 3, x + height / 3, height);
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), qMax(8, height / 25)));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("TAMO %1x%2").arg(width).arg(height));
    return image;
}

void save(const QImage &image, const QString &path, const char *format, int quality = -1)
{
    if (!image.save(path, format, quality))
        fail(QStringLiteral("cannot write %1").arg(path));
}

bool runImageMagick(const QStringList &arguments, QString *error)
{
    QProcess process;
    process.start(QString::fromLatin1(kImageMagick), arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("%1 %2: %3%4")
                     .arg(QString::fromLatin1(kImageMagick), arguments.join(QLatin1Char(' ')),
                          process.errorString(), QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    return true;
}

// A phone's photo of a portrait: stored landscape, with an EXIF block that
// says to turn it (orientation 6: a quarter turn clockwise).
void insertOrientation(const QString &path, int orientation)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        fail(QStringLiteral("cannot open %1").arg(path));
    QByteArray exif("\xFF\xE1\0\x22" "Exif\0\0" "MM\0\x2A\0\0\0\x08" "\0\x01", 20);
    exif.append("\x01\x12\0\x03\0\0\0\x01\0", 9).append(char(orientation)).append("\0\0\0\0\0\0", 6);
    const QByteArray jpeg = file.readAll().insert(2, exif);
    if (!file.seek(0) || file.write(jpeg) != jpeg.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

void saveProgressive(const QImage &image, const QString &path)
{
    QImageWriter writer(path, "JPG");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(true);
    if (!writer.write(image))
        fail(QStringLiteral("cannot write %1: %2").arg(path, writer.errorString()));
}

// The 48 frames go through ImageMagick too: Qt reads GIFs but writes none.
void writeGif(const QString &folder, const QString &path)
{
    QStringList arguments{QStringLiteral("-delay"), QStringLiteral("10"), QStringLiteral("-loop"),
                          QStringLiteral("0")};
    for (int i = 0; i < kGifFrames; ++i) {
        const QString frame = QDir(folder).filePath(QStringLiteral("frame-%1.png").arg(i, 2, 10, QLatin1Char('0')));
        save(scene(480, 360, i), frame, "PNG");
        arguments << frame;
    }
    arguments << path;
    QString error;
    if (!runImageMagick(arguments, &error))
        fail(error);
}

struct Picture {
    QString label;
    QString path;
    int type;
    QSize size;
    QStringList magickOptions = {}; // before the crop
};

// The product's path for one file: read it, queue it, convert it on this thread.
double convertOurs(const Picture &picture, ImageData *result)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(picture.path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(picture.path));
    ImageProcessor processor;
    QString failure;
    QObject::connect(&processor, &ImageProcessor::processedImage, [&](const ImageData &item) { *result = item; });
    QObject::connect(&processor, &ImageProcessor::conversionFailed,
                     [&](const QString &, const QString &reason) { failure = reason; });
    processor.enqueue(ImageData(picture.type, picture.path, {ImageFrame{file.readAll(), 0}}));
    processor.processQueue();
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!failure.isEmpty() || result->frames.isEmpty())
        fail(QStringLiteral("%1 was not converted: %2").arg(picture.label, failure));
    return ms;
}

double convertImageMagick(const Picture &picture, const QString &out)
{
    const int side = qMin(picture.size.width(), picture.size.height());
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!runImageMagick(QStringList{picture.path} + picture.magickOptions
                            + QStringList{QStringLiteral("-gravity"), QStringLiteral("center"), QStringLiteral("-crop"),
                                          QStringLiteral("%1x%1+0+0").arg(side), QStringLiteral("+repage"),
                                          QStringLiteral("-rotate"), QStringLiteral("180"), QStringLiteral("-resize"),
                                          QStringLiteral("400x400"), out},
                        &error))
        fail(error);
    return timer.nsecsElapsed() / 1e6;
}

double psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size())
        return 0;
    double squares = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            const int dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
            squares += dr * dr + dg * dg + db * db;
        }
    const double mse = squares / (3.0 * x.width() * x.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace

int main(int argc, char *argv[])
{
    // Fonts for the generated pictures need a GUI application, not a screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-bench-convert"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures picture conversion against ImageMagick (/usr/bin/convert).\n"
        "Last line: ratio=R ms_still_small=A ms_still_large=B ms_gif=C ms_photo_turned=D ms_progressive=E"));
    parser.addHelpOption();
    const QCommandLineOption repeatsOption(QStringLiteral("repeats"), QStringLiteral("Runs per file (default 7)."),
                                           QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption keepOption(QStringLiteral("keep"),
                                        QStringLiteral("Keep the pictures and results in this folder."),
                                        QStringLiteral("DIR"));
    parser.addOptions({repeatsOption, keepOption});
    parser.process(app);
    bool ok = false;
    const int repeats = parser.value(repeatsOption).toInt(&ok);
    if (!ok || repeats < 1 || repeats > 1000)
        fail(QStringLiteral("--repeats takes 1 to 1000"));
    if (!QFile::exists(QString::fromLatin1(kImageMagick)))
        fail(QStringLiteral("%1 is missing: install Debian's imagemagick (scripts/setup.sh)").arg(kImageMagick));

    QTemporaryDir temporary;
    const QString folder = parser.isSet(keepOption) ? parser.value(keepOption) : temporary.path();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot create %1").arg(folder));
    const auto in = [&](const QString &name) { return QDir(folder).filePath(name); };
    say(QStringLiteral("cores %1, load average %2; %3 runs per file")
            .arg(QThread::idealThreadCount())
            .arg(loadAverage())
            .arg(repeats));

    const QVector<Picture> stills{
        {QStringLiteral("JPEG 1200x800"), in(QStringLiteral("still-small.jpg")), ImageType, QSize(1200, 800)},
        {QStringLiteral("JPEG 4000x3000"), in(QStringLiteral("still-large.jpg")), ImageType, QSize(4000, 3000)},
        {QStringLiteral("PNG 1000x1000"), in(QStringLiteral("still.png")), ImageType, QSize(1000, 1000)},
        {QStringLiteral("JPEG 4032x3024 orientation 6"), in(QStringLiteral("photo-turned.jpg")), ImageType,
         QSize(4032, 3024), {QStringLiteral("-auto-orient")}},
        {QStringLiteral("progressive JPEG 4000x3000"), in(QStringLiteral("progressive.jpg")), ImageType,
         QSize(4000, 3000)},
    };
    // The ratio is over the first stills, as it has always been measured.
    const int ratioStills = 3;
    const Picture gif{QStringLiteral("GIF 480x360, 48 frames of 100 ms"), in(QStringLiteral("animation.gif")),
                      GifType, QSize(480, 360)};
    save(scene(1200, 800), stills.at(0).path, "JPG", 90);
    save(scene(4000, 3000), stills.at(1).path, "JPG", 90);
    save(scene(1000, 1000), stills.at(2).path, "PNG");
    save(scene(4032, 3024), stills.at(3).path, "JPG", 90);
    insertOrientation(stills.at(3).path, 6);
    saveProgressive(scene(4000, 3000), stills.at(4).path);
    writeGif(folder, gif.path);

    QVector<QVector<double>> ours(stills.size()), theirs(stills.size());
    QVector<double> gifTimes;
    ImageData result;
    for (int r = 0; r <= repeats; ++r) { // run 0 warms up and is not counted
        QStringList line;
        for (int i = 0; i < stills.size(); ++i) {
            const double mine = convertOurs(stills.at(i), &result);
            const double magick = convertImageMagick(stills.at(i), in(QStringLiteral("magick-%1.jpg").arg(i)));
            if (r > 0) {
                ours[i] << mine;
                theirs[i] << magick;
            }
            line << QStringLiteral("%1 %2 / %3 ms").arg(stills.at(i).label).arg(mine, 0, 'f', 1).arg(magick, 0, 'f', 1);
        }
        const double animation = convertOurs(gif, &result);
        if (r > 0)
            gifTimes << animation;
        line << QStringLiteral("GIF %1 ms (%2 frames out)").arg(animation, 0, 'f', 1).arg(result.frames.size());
        say(QStringLiteral("%1 %2: ").arg(r > 0 ? QStringLiteral("run") : QStringLiteral("warm-up")).arg(r)
            + line.join(QStringLiteral("; ")) + QStringLiteral(" (ours / ImageMagick)"));
    }

    double oursTotal = 0, theirsTotal = 0;
    for (int i = 0; i < stills.size(); ++i) {
        if (i < ratioStills) {
            oursTotal += median(ours.at(i));
            theirsTotal += median(theirs.at(i));
        }
        ImageData converted;
        convertOurs(stills.at(i), &converted);
        const QImage mine = QImage::fromData(converted.frames.first().data);
        const QImage magick(in(QStringLiteral("magick-%1.jpg").arg(i)));
        say(QStringLiteral("%1: medians ours %2 ms, ImageMagick %3 ms; results %4x%5 and %6x%7, %8 dB apart")
                .arg(stills.at(i).label)
                .arg(median(ours.at(i)), 0, 'f', 1)
                .arg(median(theirs.at(i)), 0, 'f', 1)
                .arg(mine.width())
                .arg(mine.height())
                .arg(magick.width())
                .arg(magick.height())
                .arg(psnr(mine, magick), 0, 'f', 1));
    }
    say(QStringLiteral("load average at the end %1").arg(loadAverage()));
    say(QStringLiteral("ratio=%1 ms_still_small=%2 ms_still_large=%3 ms_gif=%4 ms_photo_turned=%5 ms_progressive=%6")
            .arg(theirsTotal / oursTotal, 0, 'f', 2)
            .arg(median(ours.at(0)), 0, 'f', 1)
            .arg(median(ours.at(1)), 0, 'f', 1)
            .arg(median(gifTimes), 0, 'f', 1)
            .arg(median(ours.at(3)), 0, 'f', 1)
            .arg(median(ours.at(4)), 0, 'f', 1));
    return 0;
}
