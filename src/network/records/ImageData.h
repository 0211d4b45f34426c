#pragma once

#include "FileType.h"
#include "ImageFrame.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// One file from the cloud: its type, its link (which names the file), and its
// frames. A download gives one frame of the raw bytes; a file turned into
// device pictures has one frame per picture with its display time.
struct ImageData
{
    ImageData() = default;
    ImageData(int type, const QString &link, const QVector<ImageFrame> &frames);

    int type = UndefinedType;
    QString link;
    QVector<ImageFrame> frames;

    bool isImage() const { return type == ImageType; }
    bool isGif() const { return type == GifType; }
    // A placeholder has no frames yet; validity looks at the frame count only.
    bool isValid() const { return !frames.isEmpty(); }
};

Q_DECLARE_METATYPE(ImageData)
