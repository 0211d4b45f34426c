#pragma once

#include <QByteArray>
#include <QMetaType>

// One frame of an animation on its way to a device: picture bytes and how long
// the frame is shown, in milliseconds.
struct TransferFrame
{
    QByteArray data;
    int delayMs = 0;
};
