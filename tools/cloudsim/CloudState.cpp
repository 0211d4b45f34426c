#include "CloudState.h"

#include <QJsonDocument>
#include <QSaveFile>

CloudState::CloudState(const QString &filesFolder, const QByteArray &secret, qint64 accessLifetime,
                       qint64 refreshLifetime, qint64 linkLifetime)
    : tokens(secret, accessLifetime, refreshLifetime)
    , files(filesFolder, secret, linkLifetime)
{
}

QJsonObject CloudState::document() const
{
    QJsonObject object = store.snapshot();
    object.insert(QStringLiteral("record"), record.toJson());
    return object;
}

bool CloudState::writeStateFile(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(document()).toJson(QJsonDocument::Indented));
    return file.commit();
}
