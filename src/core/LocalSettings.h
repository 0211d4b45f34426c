#pragma once

#include <QString>
#include <QVariant>

// The two user preferences kept in settings.ini. Nothing is cached: every read and
// write opens the file, handles one key and lets it go, so a value saved a moment
// ago is what the next reader sees.
class LocalSettings
{
public:
    static const QString DefaultLocationKey; // "DefaultLocation", text, default empty
    static const QString ShowHelpTipKey;     // "ShowHelpTip", boolean, default true

    static QVariant value(const QString &key, const QVariant &defaultValue = QVariant());
    static void setValue(const QString &key, const QVariant &value);

    static QString defaultLocation();
    static void setDefaultLocation(const QString &location);
    static bool showHelpTip();
    static void setShowHelpTip(bool show);
};
