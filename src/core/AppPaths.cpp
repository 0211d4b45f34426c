#include "AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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
    const bool exists = QFileInfo(folder).isDir();
    if (!exists)
        QDir().mkpath(QFileInfo(folder).absolutePath());
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(folder);
    if (!exists) {
        // Private from the first moment, not only after a change of its mode.
        ::mkdir(path.constData(), 0700);
        return;
    }
    // A folder left open to others by an earlier version is closed now.
    struct stat facts{};
    if (::stat(path.constData(), &facts) == 0 && (facts.st_mode & 077) != 0)
        ::chmod(path.constData(), facts.st_mode & 0700);
#else
    if (!exists)
        QDir().mkdir(folder);
#endif
}
