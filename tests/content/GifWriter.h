#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QVector>

// Writes animated GIFs for the tests, since Qt reads GIFs but does not write
// them: a fixed 216-colour palette, and LZW data made of literal codes only
// (a clear code every 250 pixels keeps the code width at 9 bits). Large and
// simple, but any decoder reads it.
class GifWriter
{
public:
    // One frame per image, each shown for the delay in milliseconds (a multiple
    // of 10); the screen is the first image's size unless `screen` is given.
    static QByteArray write(const QVector<QImage> &frames, const QVector<int> &delaysMs,
                            QSize screen = QSize());
    // `count` frames of one pixel each, all with the same delay.
    static QByteArray tiny(int count, int delayMs, QSize screen = QSize(1, 1));
};
