#pragma once

#include "ImageFrame.h"

#include <QString>
#include <QVector>

// One content item for a device: its identifier and its frames (one for a still
// picture, one per kept animation step for a GIF).
struct UploadItem
{
    QString uuid;
    QVector<ImageFrame> frames;
};
