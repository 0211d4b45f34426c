#include "ConvertCommand.h"

#include "DisplayPreview.h"
#include "ImageData.h"
#include "ImageProcessor.h"
#include "PictureFormat.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTextStream>

namespace {

const QString kCommand = QStringLiteral("convert");

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

// The cloud types a picture from the file that was uploaded: a GIF is an
// animation, whatever its frame count; any other picture is a still.
int typeOf(const QByteArray &bytes)
{
    return PictureFormat::of(bytes).name == QLatin1String("GIF") ? GifType : ImageType;
}

// The pipeline's own road: the processor's queue, here on this thread.
bool convertFile(const QString &file, ImageData *converted, QString *reason)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        *reason = input.errorString();
        return false;
    }
    const QByteArray bytes = input.readAll();
    ImageProcessor processor;
    QObject::connect(&processor, &ImageProcessor::processedImage,
                     [converted](const ImageData &item) { *converted = item; });
    QObject::connect(&processor, &ImageProcessor::conversionFailed,
                     [reason](const QString &, const QString &why) { *reason = why; });
    processor.enqueue(ImageData(typeOf(bytes), file, {ImageFrame{bytes, 0}}));
    processor.processQueue();
    return converted->isValid();
}

} // namespace

ConvertCommand::ConvertCommand(QCommandLineParser &parser)
    : m_parser(parser)
    , m_output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
               QStringLiteral("convert: write the frames into DIR (created when missing)."), QStringLiteral("DIR"))
    , m_preview(QStringLiteral("preview"),
                QStringLiteral("convert: also write NAME.preview.png, what the round display shows."))
{
    parser.addOptions({m_output, m_preview});
}

bool ConvertCommand::requested() const
{
    return m_parser.positionalArguments().value(0) == kCommand;
}

bool ConvertCommand::optionsGiven() const
{
    return m_parser.isSet(m_output) || m_parser.isSet(m_preview);
}

int ConvertCommand::run(QTextStream &out, QTextStream &err) const
{
    const QStringList files = m_parser.positionalArguments().mid(1);
    const QString folder = m_parser.value(m_output);
    if (files.isEmpty() || folder.isEmpty()) {
        err << "tamo-cli: expected 'convert FILE... -o DIR'; see --help" << Qt::endl;
        return 2;
    }
    // Two pictures of one name would overwrite each other's frames.
    QHash<QString, QString> names;
    for (const QString &file : files) {
        const QString name = QFileInfo(file).completeBaseName();
        if (names.contains(name)) {
            err << "tamo-cli: " << names.value(name) << " and " << file << " would both be written as " << name
                << Qt::endl;
            return 2;
        }
        names.insert(name, file);
    }
    if (!QDir().mkpath(folder)) {
        err << "tamo-cli: cannot create the folder " << folder << Qt::endl;
        return 2;
    }

    bool allWritten = true;
    for (const QString &file : files) {
        ImageData converted;
        QString reason;
        if (!convertFile(file, &converted, &reason)) {
            err << "tamo-cli: " << file << ": " << reason << Qt::endl;
            allWritten = false;
            continue;
        }
        allWritten = write(file, converted, folder, out, err) && allWritten;
    }
    return allWritten ? 0 : 1;
}

bool ConvertCommand::write(const QString &file, const ImageData &converted, const QString &folder,
                           QTextStream &out, QTextStream &err) const
{
    const QDir dir(folder);
    const QString name = QFileInfo(file).completeBaseName();
    QString error;
    for (int i = 0; i < converted.frames.size(); ++i) {
        const ImageFrame &frame = converted.frames.at(i);
        const QString path = dir.filePath(
            converted.isGif() ? QStringLiteral("%1.%2.%3ms.jpg").arg(name).arg(i + 1).arg(frame.delay)
                              : QStringLiteral("%1.%2.jpg").arg(name).arg(i + 1));
        if (!writeFile(path, frame.data, &error)) {
            err << "tamo-cli: cannot write " << path << ": " << error << Qt::endl;
            return false;
        }
        out << path << Qt::endl;
    }
    if (!m_parser.isSet(m_preview))
        return true;
    const QString path = dir.filePath(name + QStringLiteral(".preview.png"));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        DisplayPreview::of(converted.frames.first().data).save(&buffer, "PNG");
    }
    if (png.isEmpty() || !writeFile(path, png, &error)) {
        err << "tamo-cli: cannot write " << path << ": " << error << Qt::endl;
        return false;
    }
    out << path << Qt::endl;
    return true;
}
