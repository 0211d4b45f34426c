#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

// Writes a simulated-port description the way the device simulator does:
// another name first, then a rename, so that no reader sees half a file.
inline bool writeSimPortFile(const QString &folder, const QString &name, const QJsonObject &facts)
{
    const QString target = QDir(folder).filePath(name + QStringLiteral(".port"));
    const QString temporary = target + QStringLiteral(".tmp");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(facts).toJson());
    file.close();
    QFile::remove(target);
    return QFile::rename(temporary, target);
}

inline QJsonObject simPort(const QString &port, const QString &serial, int vendor = 0x0483,
                           int product = 0x5740)
{
    return QJsonObject{{QStringLiteral("port"), port},
                       {QStringLiteral("serialNumber"), serial},
                       {QStringLiteral("vendorId"), vendor},
                       {QStringLiteral("productId"), product}};
}
