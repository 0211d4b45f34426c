#include "DeviceFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cstdio>

namespace {

// A temporary name and a rename keep readers from half files. No sync to disk:
// these files describe a running process and are worthless after a crash, and
// a sync per stored picture would slow every transfer down.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString temporary = path + QStringLiteral(".tmp");
    QFile file(temporary);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()) {
        file.close();
        if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
            return true;
    }
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    QFile::remove(temporary);
    return false;
}

} // namespace

DeviceFiles::DeviceFiles(const QString &folder, const QString &serial)
    : m_folder(folder)
    , m_serial(serial)
{
}

QString DeviceFiles::portPath() const
{
    return QDir(m_folder).filePath(m_serial + QStringLiteral(".port"));
}

QString DeviceFiles::snapshotPath() const
{
    return QDir(m_folder).filePath(m_serial + QStringLiteral(".json"));
}

bool DeviceFiles::writePort(const QString &terminal, QString *error) const
{
    const QJsonObject facts{
        {QStringLiteral("port"), terminal},
        {QStringLiteral("serialNumber"), m_serial},
        {QStringLiteral("vendorId"), 0x0483},
        {QStringLiteral("productId"), 0x5740},
        {QStringLiteral("description"), QStringLiteral("TAMO device (simulated)")},
        {QStringLiteral("simulatorPid"), static_cast<double>(QCoreApplication::applicationPid())},
    };
    return writeAtomically(portPath(), QJsonDocument(facts).toJson(), error);
}

void DeviceFiles::removePort() const
{
    QFile::remove(portPath());
}

bool DeviceFiles::writeSnapshot(const QJsonObject &snapshot) const
{
    return writeAtomically(snapshotPath(), QJsonDocument(snapshot).toJson(), nullptr);
}
