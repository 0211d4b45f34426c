#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>

// The window's embedded pictures and style sheets (":/img/", ":/css/"). They are
// compiled into this static library, whose registration the linker would drop
// unless something calls it, so every user of a resource calls ensureLoaded().
class UiResources
{
public:
    static void ensureLoaded();

    // The named sheets under ":/css/", read as UTF-8 and joined in order; a sheet
    // that cannot be read counts as empty.
    static QString styleSheet(const QStringList &names);

    // A picture under ":/img/", from its double-size version (NAME@2x.png) on a
    // high-density screen. Its size() is in device pixels; divide by its
    // devicePixelRatio() for the size it takes on screen.
    static QPixmap picture(const QString &path);
    // A pixmap's size in the window's coordinates.
    static QSize logicalSize(const QPixmap &pixmap);
};
