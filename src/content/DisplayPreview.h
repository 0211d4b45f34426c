#pragma once

#include <QByteArray>
#include <QImage>

// What the round display shows for one frame as the device receives it, for a
// person to look at before publishing: the frame turned back upright (the
// device shows its pictures turned by 180 degrees) inside the round screen,
// transparent outside it.
class DisplayPreview
{
public:
    // A null image when the frame cannot be decoded.
    static QImage of(const QByteArray &deviceFrame);
};
