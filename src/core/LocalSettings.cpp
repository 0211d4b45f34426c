#include "LocalSettings.h"

#include "AppPaths.h"

#include <QSettings>

const QString LocalSettings::DefaultLocationKey = QStringLiteral("DefaultLocation");
const QString LocalSettings::ShowHelpTipKey = QStringLiteral("ShowHelpTip");

QVariant LocalSettings::value(const QString &key, const QVariant &defaultValue)
{
    QSettings settings(AppPaths::settingsFilePath(), QSettings::IniFormat);
    return settings.value(key, defaultValue);
}

void LocalSettings::setValue(const QString &key, const QVariant &value)
{
    QSettings settings(AppPaths::settingsFilePath(), QSettings::IniFormat);
    settings.setValue(key, value);
}

QString LocalSettings::defaultLocation()
{
    return value(DefaultLocationKey, QString()).toString();
}

void LocalSettings::setDefaultLocation(const QString &location)
{
    setValue(DefaultLocationKey, location);
}

bool LocalSettings::showHelpTip()
{
    return value(ShowHelpTipKey, true).toBool();
}

void LocalSettings::setShowHelpTip(bool show)
{
    setValue(ShowHelpTipKey, show);
}
