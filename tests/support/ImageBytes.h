#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

// A picture of one colour as the bytes of a file in `format` ("PNG", "JPG").
inline QByteArray imageBytes(QSize size, const QColor &colour, const char *format = "PNG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}
