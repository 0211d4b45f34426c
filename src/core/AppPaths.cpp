#include "AppPaths.h"

#include <QDir>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shlobj.h>
#endif

namespace {

#ifdef Q_OS_WIN
QString knownFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)))
        return QString();
    return QDir::fromNativeSeparators(QString::fromWCharArray(path));
}
#endif

QString roamingBase()
{
#ifdef Q_OS_WIN
    return knownFolder(CSIDL_APPDATA);
#else
    // ~/.local/share (or $XDG_DATA_HOME); independent of the application name.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

QString localBase()
{
#ifdef Q_OS_WIN
    return knownFolder(CSIDL_LOCAL_APPDATA);
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

} // namespace

QString AppPaths::dataFolder()
{
    return roamingBase() + QStringLiteral("/Tamo");
}

QString AppPaths::logFilePath()
{
    return dataFolder() + QStringLiteral("/logs.txt");
}

QString AppPaths::settingsFilePath()
{
    return dataFolder() + QStringLiteral("/settings.ini");
}

QString AppPaths::crashFolder()
{
    const QString base = localBase();
    return base.isEmpty() ? QString() : base + QStringLiteral("/Tamo/Crashes");
}

void AppPaths::ensureDataFolder()
{
    const QString folder = dataFolder();
    if (!QDir(folder).exists())
        QDir().mkpath(folder);
}
