#pragma once

#include <QByteArray>
#include <QString>

// Names for files that the cloud hands out. A name from the server never chooses
// a folder: only its last path component is kept.
class DownloadFileNames
{
public:
    static constexpr const char *kDefaultName = "firmware.dfu";

    // The last path component of serverName ("/" and "\" both separate), with
    // characters that no file system accepts (controls and <>:"|?*) replaced by
    // "_"; fallback for an empty, "." or ".." result.
    static QString safeFileName(const QString &serverName, const QString &fallback = QLatin1String(kDefaultName));

    // The file name of a Content-Disposition header (the part holding
    // "filename=", trimmed, without the key and any double quote), made safe;
    // empty when the header names none.
    static QString fromContentDisposition(const QByteArray &header);

    // folder + separator + the name before its last "." + "." + the suffix, with
    // "(1)", "(2)"... inserted before the dot while such a file exists. The dot is
    // written even when the name has no suffix.
    static QString uniqueFilePath(const QString &folder, const QString &fileName);
};
