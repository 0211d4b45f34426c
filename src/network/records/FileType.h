#pragma once

#include <QLatin1String>
#include <QString>

// The file type code shared by UrlData and ImageData. Firmware files and assets of
// an unknown format keep UndefinedType. A code is a picture when, read as
// unsigned, it is not greater than GifType, so UndefinedType never is.
enum FileType : int {
    UndefinedType = -1,
    ImageType = 0, // still picture (JPEG, JFIF, PNG, WebP)
    GifType = 1,   // animated picture
};

// The type of a campaign item from the "imageFormat" the cloud gives it.
inline int fileTypeOfFormat(const QString &imageFormat)
{
    for (const char *still : {"image/jpg", "image/jpeg", "image/jfif", "image/png", "image/webp"})
        if (imageFormat == QLatin1String(still))
            return ImageType;
    return imageFormat == QLatin1String("image/gif") ? GifType : UndefinedType;
}
