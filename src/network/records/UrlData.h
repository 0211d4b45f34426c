#pragma once

#include "FileType.h"

#include <QMetaType>
#include <QString>

// Where one file can be fetched: the link plus the access query ("signature")
// that has to be appended after a "?".
struct UrlData
{
    int type = UndefinedType;
    QString link;
    QString signature;
    QString format; // as the cloud names it ("image/png"); kept for files of no known type

    bool isImage() const { return type == ImageType; }
    bool isGif() const { return type == GifType; }

    // The complete address: link, "?", signature.
    QString signedLink() const;
};

Q_DECLARE_METATYPE(UrlData)
