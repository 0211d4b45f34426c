#pragma once

#include <QString>

// Where the application keeps its files. Every location ends in "/Tamo" whatever
// the application object is called, so a helper process or a test that links the
// same code finds the same files.
class AppPaths
{
public:
    // Per-user roaming application data + "/Tamo": logs.txt and settings.ini.
    static QString dataFolder();
    static QString logFilePath();
    static QString settingsFilePath();

    // Per-user local (non-roaming) application data + "/Tamo/Crashes".
    static QString crashFolder();

    // Creates the data folder when it is missing, readable by its owner only (it
    // holds the e-mail address, the devices' names and MACs); an existing folder
    // open to others is closed. On a fresh Linux account even ~/.local/share may
    // be absent, so the whole path is made. A failure is ignored here: the callers
    // cope with files that cannot be opened.
    static void ensureDataFolder();
};
