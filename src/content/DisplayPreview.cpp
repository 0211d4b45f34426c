#include "DisplayPreview.h"

#include "ImageProcessor.h"

#include <QPainter>

QImage DisplayPreview::of(const QByteArray &deviceFrame)
{
    const QImage frame = QImage::fromData(deviceFrame, "JPG");
    if (frame.isNull())
        return QImage();
    const int side = ImageProcessor::OutputSide;
    QImage preview(side, side, QImage::Format_ARGB32_Premultiplied);
    preview.fill(Qt::transparent);
    QPainter painter(&preview);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A textured brush rather than a clip: the screen's edge is smoothed.
    painter.setBrush(QBrush(frame.mirrored(true, true).scaled(side, side)));
    painter.drawEllipse(QRectF(0, 0, side, side));
    painter.end();
    return preview;
}
