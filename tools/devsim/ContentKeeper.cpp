#include "ContentKeeper.h"

#include <QDir>
#include <QSaveFile>

#include <cstdio>

namespace {

QString extensionOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral("png");
    if (bytes.startsWith("GIF8"))
        return QStringLiteral("gif");
    return QStringLiteral("bin");
}

} // namespace

ContentKeeper::ContentKeeper(const QString &folder, const QString &serial)
    : m_folder(folder)
    , m_serial(serial)
{
}

QString ContentKeeper::pathFor(quint64 id, int frame, const QByteArray &bytes) const
{
    return QDir(m_folder).filePath(QStringLiteral("%1_%2_%3.%4")
                                       .arg(m_serial)
                                       .arg(id)
                                       .arg(frame, 3, 10, QLatin1Char('0'))
                                       .arg(extensionOf(bytes)));
}

void ContentKeeper::keep(quint64 id, int frame, const QByteArray &bytes)
{
    QSaveFile file(pathFor(id, frame, bytes));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return;
    if (!m_failed)
        std::fprintf(stderr, "tamo-devsim: %s: cannot keep received content: %s\n", qPrintable(m_serial),
                     qPrintable(file.errorString()));
    m_failed = true;
}
