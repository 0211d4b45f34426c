#include "FirmwareOffers.h"

#include "DevicesManager.h"
#include "DownloadFileNames.h"
#include "NetworkManager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

namespace {

const char *const kSuffix = ".dfu";
// Another program may take a free name between the look-up and the rename.
constexpr int kNameAttempts = 20;

} // namespace

FirmwareOffers::FirmwareOffers(QObject *parent)
    : QObject(parent)
{
}

FirmwareOffers::~FirmwareOffers()
{
    for (const QString &path : qAsConst(m_files))
        QFile::remove(path);
}

void FirmwareOffers::setManagers(DevicesManager *devices, NetworkManager *network)
{
    m_devices = devices;
    m_network = network;
    if (!m_devices || !m_network)
        m_waiters.clear();
}

void FirmwareOffers::setFolder(const QString &folder)
{
    m_folder = folder;
}

QString FirmwareOffers::folder() const
{
    if (!m_folder.isEmpty())
        return m_folder;
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QDir::homePath() : downloads;
}

QString FirmwareOffers::fileNameFor(const QString &link)
{
    const QStringList parts = link.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // Spelled out as a person named it ("%20" a blank); a "/" it hides still chooses no folder.
    const QString last = parts.isEmpty() ? QString() : QUrl::fromPercentEncoding(parts.last().toUtf8());
    QString name = DownloadFileNames::safeFileName(last);
    if (!name.endsWith(QLatin1String(kSuffix)))
        name += QLatin1String(kSuffix);
    return name;
}

void FirmwareOffers::offer(const QString &serial, const UrlData &file, quint64 ticket)
{
    if (!m_devices || !m_network)
        return;
    const QString known = m_files.value(file.link);
    if (!known.isEmpty() && QFileInfo::exists(known)) {
        m_devices->upgradeFirmware(known, {serial});
        emit offerEnded(ticket, QString());
        return;
    }
    const bool inFlight = m_waiters.contains(file.link);
    m_waiters[file.link].append(Waiter{serial, ticket});
    if (!inFlight)
        m_network->downloadContent(file);
}

void FirmwareOffers::onFileDownloaded(bool success, const ImageData &file, const QString &errorString)
{
    if (!m_waiters.contains(file.link) || !m_devices)
        return;
    const QVector<Waiter> waiters = m_waiters.take(file.link);
    if (!success || file.frames.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Firmware offered at %1 could not be downloaded; no upgrade started")
                                    .arg(file.link);
        const QString reason = errorString.isEmpty() ? tr("no data") : errorString;
        return endOffers(waiters, tr("%1 could not be downloaded: %2").arg(fileNameFor(file.link), reason));
    }
    QString failure;
    const QString path = store(file.link, file.frames.first().data, &failure);
    if (path.isEmpty())
        return endOffers(waiters, failure);
    m_files.insert(file.link, path);
    QStringList serials;
    for (const Waiter &waiter : waiters)
        serials << waiter.serial;
    serials.removeDuplicates();
    m_devices->upgradeFirmware(path, serials);
    endOffers(waiters, QString());
}

void FirmwareOffers::endOffers(const QVector<Waiter> &waiters, const QString &failure)
{
    for (const Waiter &waiter : waiters)
        emit offerEnded(waiter.ticket, failure);
}

QString FirmwareOffers::store(const QString &link, const QByteArray &bytes, QString *failure) const
{
    const QString dir = folder();
    const QString name = fileNameFor(link);
    QTemporaryFile temporary(QDir(dir).filePath(QStringLiteral(".%1.XXXXXX.part").arg(name)));
    if (!QDir().mkpath(dir) || !temporary.open() || temporary.write(bytes) != bytes.size() || !temporary.flush()) {
        qWarning().noquote() << QStringLiteral("Cannot write the offered firmware %1 into %2: %3; no upgrade started")
                                    .arg(name, dir, temporary.errorString());
        *failure = tr("%1 could not be stored in %2: %3").arg(name, dir, temporary.errorString());
        return QString();
    }
    // The rename never replaces a file: an operator's file of the same name stays.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString target = DownloadFileNames::uniqueFilePath(dir, name);
        if (temporary.rename(target)) {
            temporary.setAutoRemove(false);
            return target;
        }
    }
    qWarning().noquote() << QStringLiteral("Cannot store the offered firmware %1 in %2: %3; no upgrade started")
                                .arg(name, dir, temporary.errorString());
    *failure = tr("%1 could not be stored in %2: %3").arg(name, dir, temporary.errorString());
    return QString();
}
