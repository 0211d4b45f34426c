#include "DeviceFiles.h"

#include "FileReaper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cstdio>
#include <unistd.h>

namespace {

// A temporary name and a rename keep readers from half files. No sync to disk:
// these files describe a running process and are worthless after a crash, and
// a sync per stored picture would slow every transfer down. With `displaced`,
// the file being replaced first gets that second name, so that the rename does
// not free it; the reaper does, later and elsewhere.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error,
                     const QString &displaced = QString())
{
    const QString temporary = path + QStringLiteral(".tmp");
    QFile file(temporary);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()) {
        file.close();
        const QByteArray target = QFile::encodeName(path);
        const bool kept = !displaced.isEmpty()
            && ::link(target.constData(), QFile::encodeName(displaced).constData()) == 0;
        const bool renamed = ::rename(QFile::encodeName(temporary).constData(), target.constData()) == 0;
        if (kept)
            FileReaper::remove(displaced);
        if (renamed)
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

bool DeviceFiles::writeSnapshot(const QJsonObject &snapshot)
{
    const QString displaced = QDir(m_folder).filePath(
        QStringLiteral(".%1.json.old.%2").arg(m_serial).arg(++m_replaced));
    return writeAtomically(snapshotPath(), QJsonDocument(snapshot).toJson(), nullptr, displaced);
}

void DeviceFiles::removeLeftovers() const
{
    const QDir folder(m_folder);
    const QStringList names = folder.entryList({QStringLiteral(".%1.json.old.*").arg(m_serial)},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        QFile::remove(folder.filePath(name));
}
