// Picture files as the cloud delivers them, through the conversion the image
// thread runs. Every file goes through both roads, as the campaign may declare
// the wrong type: as a still (its format told from its signature, its EXIF
// orientation read, transparency composited), and as an animation, whose block
// walk reads the GIF's timeline before a pixel is decoded.
#include "FuzzSupport.h"

#include "ImageProcessor.h"

using FuzzSupport::keep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QVector<ImageFrame> download{ImageFrame{FuzzSupport::bytes(data, size), 0}};
    ImageProcessor processor;
    processor.enqueue(ImageData(ImageType, QStringLiteral("still"), download));
    processor.enqueue(ImageData(GifType, QStringLiteral("animation"), download));
    QObject::connect(&processor, &ImageProcessor::processedImage, [](const ImageData &item) {
        for (const ImageFrame &frame : item.frames)
            keep(frame.data.size(), frame.delay);
    });
    QObject::connect(&processor, &ImageProcessor::conversionFailed,
                     [](const QString &, const QString &reason) { keep(reason.size()); });
    processor.processQueue();
    FuzzSupport::deliverPostedEvents();
    return 0;
}
