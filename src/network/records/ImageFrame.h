#pragma once

#include <QByteArray>

// One frame of a file on its way to a device: raw or converted picture bytes and
// how long the frame is shown (milliseconds; 0 for a still picture).
struct ImageFrame
{
    QByteArray data;
    int delay = 0;
};
