#pragma once

#include <QByteArray>
#include <QSize>
#include <QVector>

// What an animated GIF announces in its blocks, read without decoding a pixel:
// the screen size, the largest frame and each frame's display time. The frame
// walk needs every delay before it decodes the first frame, and the image
// reader tells a delay only while it decodes; so these few blocks are read here.
struct GifTimeline
{
    bool readable = false;        // a GIF signature and a complete screen descriptor
    QSize screen;
    qint64 largestFramePixels = 0;
    QVector<int> delays;          // milliseconds, one per complete frame

    // Stops counting once more than frameLimit frames were seen, so that a file
    // of a million frames costs no more than one of frameLimit + 1.
    static GifTimeline read(const QByteArray &bytes, int frameLimit);

    int totalMs() const;
};
