#pragma once

#include <QByteArray>
#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// The picture and firmware files of the fixture, kept in one folder and handed
// out through signed links: the link, "?", then a signature that names its own
// expiry. A file is chosen by its key in the link, never by a name from the
// network, so no link can reach outside the folder.
class FileShelf
{
public:
    FileShelf(const QString &folder, const QByteArray &secret, qint64 linkLifetimeSeconds);

    // Registers a fixture file; linkName is the last segment shown in its link
    // and disposition the file name sent in Content-Disposition (both default to
    // the file's own name). Returns the key, or -1 with a reason.
    int add(const QString &fileName, const QString &linkName, const QString &disposition, QString *error);

    // {"link": ..., "signature": ...} for the origin the client reached us at.
    QJsonObject signedLink(int key, const QString &origin) const;

    struct Fetched {
        int status = 404;
        QString message;
        QByteArray body;
        QByteArray contentType;
        QByteArray disposition;
    };
    // A GET of a file link: the path (decoded) and the query as received.
    Fetched fetch(const QString &path, const QList<QPair<QString, QString>> &query) const;

    static bool isFilePath(const QString &path);

private:
    struct Entry {
        QString absolutePath;
        QString linkName;
        QString disposition;
    };
    QString linkPath(int key) const;                     // decoded form
    QByteArray signature(const QString &path, qint64 expires) const;

    QDir m_folder;
    QByteArray m_secret;
    qint64 m_linkLifetime;
    QList<Entry> m_entries;
};
