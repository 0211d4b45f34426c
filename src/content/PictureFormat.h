#pragma once

#include <QByteArray>
#include <QString>

// What a picture file's first bytes say it is. The decoder is then chosen by
// name instead of letting every installed image plugin guess in turn (some
// guess slowly, some too eagerly, and each is more code facing outside
// bytes), and a file that nothing here decodes is named in the reason it
// fails with.
struct PictureFormat
{
    QString name;       // "JPEG", "WebP", "HEIF" …; empty when no signature matches
    QByteArray decoder; // the image reader's format; empty when none is installed for it

    bool known() const { return !name.isEmpty(); }
    bool decodable() const { return !decoder.isEmpty(); }

    static PictureFormat of(const QByteArray &bytes);
};
