#pragma once

#include <QJsonObject>
#include <QString>

#include "CloudStore.h"

class FileShelf;

// Reads a fixture (the format is printed by --help) into a store, registering
// its files on the shelf. Everything is checked: unknown keys, wrong types,
// duplicate ids and dangling references are refused with a message.
class FixtureLoader
{
public:
    explicit FixtureLoader(FileShelf &files);

    bool loadFile(const QString &path, CloudStore *store);
    bool load(const QJsonObject &root, CloudStore *store);
    QString errorString() const { return m_error; }

    // The text --help shows.
    static QString formatDescription();

private:
    bool fail(const QString &message);
    int addFile(const QJsonObject &object, const QString &what);
    bool readCompanies(const QJsonArray &array, CloudStore *store);
    bool readUsers(const QJsonArray &array, CloudStore *store);
    bool readDevices(const QJsonArray &array, CloudStore *store);
    bool readContents(const QJsonArray &array, CloudStore *store);
    bool readPosts(const QJsonArray &array, CloudStore *store);
    bool readEvents(const QJsonArray &array, CloudStore *store);
    bool readFirmware(const QJsonObject &object, CloudStore *store);
    bool readInstallations(const QJsonArray &array, CloudStore *store);

    FileShelf &m_files;
    QString m_error;
};
