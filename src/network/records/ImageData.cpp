#include "ImageData.h"

ImageData::ImageData(int type, const QString &link, const QVector<ImageFrame> &frames)
    : type(type)
    , link(link)
    , frames(frames)
{
}
