#include "DevsimProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

bool DevsimProcess::start(const QString &folder, const QStringList &arguments)
{
    m_folder = folder;
    return SimProcess::start(QStringList{QStringLiteral("--dir"), folder} + arguments, QStringLiteral("ready "));
}

QJsonObject DevsimProcess::json(const QString &name) const
{
    QFile file(QDir(m_folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}
