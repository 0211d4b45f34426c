#include "FileShelf.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrl>

namespace {
const QString FilesPrefix = QStringLiteral("/files/");
}

FileShelf::FileShelf(const QString &folder, const QByteArray &secret, qint64 linkLifetimeSeconds)
    : m_folder(folder)
    , m_secret(secret)
    , m_linkLifetime(linkLifetimeSeconds)
{
}

bool FileShelf::isFilePath(const QString &path)
{
    return path.startsWith(FilesPrefix);
}

int FileShelf::add(const QString &fileName, const QString &linkName, const QString &disposition,
                   QString *error)
{
    // Fixture names are relative to the folder and stay inside it.
    const QString clean = QDir::cleanPath(fileName);
    if (fileName.isEmpty() || QDir::isAbsolutePath(fileName) || clean == QLatin1String("..")
        || clean.startsWith(QLatin1String("../"))) {
        *error = QStringLiteral("file '%1' must be a path inside the files folder").arg(fileName);
        return -1;
    }
    Entry entry;
    entry.absolutePath = m_folder.absoluteFilePath(clean);
    const QString own = QFileInfo(clean).fileName();
    entry.linkName = linkName.isNull() ? own : linkName;
    entry.disposition = disposition.isNull() ? own : disposition;
    if (entry.linkName.isEmpty()) {
        *error = QStringLiteral("file '%1' needs a non-empty link name").arg(fileName);
        return -1;
    }
    m_entries.append(entry);
    return m_entries.size() - 1;
}

QString FileShelf::linkPath(int key) const
{
    return FilesPrefix + QString::number(key) + QLatin1Char('/') + m_entries.at(key).linkName;
}

QByteArray FileShelf::signature(const QString &path, qint64 expires) const
{
    const QByteArray message = "GET\n" + path.toUtf8() + '\n' + QByteArray::number(expires);
    return QMessageAuthenticationCode::hash(message, m_secret, QCryptographicHash::Sha256).toHex();
}

QJsonObject FileShelf::signedLink(int key, const QString &origin) const
{
    if (key < 0 || key >= m_entries.size())
        return QJsonObject();
    const QString path = linkPath(key);
    const qint64 expires = QDateTime::currentSecsSinceEpoch() + m_linkLifetime;
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
    const QString query = QStringLiteral("expires=%1&signature=%2")
                              .arg(expires)
                              .arg(QString::fromLatin1(signature(path, expires)));
    return QJsonObject{{QStringLiteral("link"), origin + encoded}, {QStringLiteral("signature"), query}};
}

FileShelf::Fetched FileShelf::fetch(const QString &path, const QList<QPair<QString, QString>> &query) const
{
    Fetched result;
    static const QRegularExpression pattern(QStringLiteral("^/files/(\\d+)/(.+)$"));
    const QRegularExpressionMatch match = pattern.match(path);
    bool ok = false;
    const int key = match.hasMatch() ? match.captured(1).toInt(&ok) : -1;
    if (!ok || key < 0 || key >= m_entries.size() || linkPath(key) != path) {
        result.message = QStringLiteral("No such file");
        return result;
    }

    QString expires;
    QString given;
    int parts = 0;
    for (const auto &item : query) {
        ++parts;
        if (item.first == QLatin1String("expires"))
            expires = item.second;
        else if (item.first == QLatin1String("signature"))
            given = item.second;
    }
    const qint64 expiry = expires.toLongLong(&ok);
    result.status = 403;
    if (parts != 2 || !ok || given.isEmpty()) {
        result.message = QStringLiteral("Missing or malformed signature");
        return result;
    }
    if (signature(path, expiry) != given.toLatin1()) {
        result.message = QStringLiteral("Signature does not match");
        return result;
    }
    if (expiry < QDateTime::currentSecsSinceEpoch()) {
        result.message = QStringLiteral("Link expired");
        return result;
    }

    const Entry &entry = m_entries.at(key);
    QFile file(entry.absolutePath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = 404;
        result.message = QStringLiteral("File is missing on the server");
        return result;
    }
    result.status = 200;
    result.body = file.readAll();
    result.contentType = QMimeDatabase().mimeTypeForFile(entry.absolutePath).name().toLatin1();
    QByteArray dispositionName = entry.disposition.toUtf8();
    for (char c : {'"', '\r', '\n'})
        dispositionName.replace(c, "");
    result.disposition = "attachment; filename=\"" + dispositionName + '"';
    return result;
}
