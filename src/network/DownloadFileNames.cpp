#include "DownloadFileNames.h"

#include <QDir>
#include <QList>
#include <QFileInfo>

QString DownloadFileNames::safeFileName(const QString &serverName, const QString &fallback)
{
    QString name = serverName;
    const int cut = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        name = name.mid(cut + 1);
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("<>:\"|?*").contains(c))
            c = QLatin1Char('_');
    }
    name = name.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return fallback;
    return name;
}

QString DownloadFileNames::fromContentDisposition(const QByteArray &header)
{
    QString found;
    const QList<QByteArray> parts = header.split(';');
    for (const QByteArray &part : parts) {
        if (!part.contains("filename="))
            continue;
        QString name = QString::fromUtf8(part.trimmed());
        name.remove(QStringLiteral("filename="));
        name.remove(QLatin1Char('"'));
        found = safeFileName(name, QString());
    }
    return found;
}

QString DownloadFileNames::uniqueFilePath(const QString &folder, const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString baseName = dot >= 0 ? fileName.left(dot) : fileName;
    const QString suffix = dot >= 0 ? fileName.mid(dot + 1) : QString();
    const QString base = folder + QDir::separator() + baseName;

    QString candidate = base + QLatin1Char('.') + suffix;
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = base + QStringLiteral("(%1)").arg(n) + QLatin1Char('.') + suffix;
    return candidate;
}
