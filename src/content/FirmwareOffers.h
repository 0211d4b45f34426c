#pragma once

#include "ImageData.h"
#include "UrlData.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVector>
#include <QString>

class DevicesManager;
class NetworkManager;

// Firmware that the cloud offers a device at registration: fetched once per
// link, whatever the number of devices waiting for it, written into the user's
// download folder, and handed to the devices manager for every device that
// waits for it. Every offer ends with offerEnded for the pass that made it:
// the upgrade handed over, or why not. Files it wrote are removed when it
// goes; nothing else is.
class FirmwareOffers : public QObject
{
    Q_OBJECT

public:
    explicit FirmwareOffers(QObject *parent = nullptr);
    ~FirmwareOffers() override;

    void setManagers(DevicesManager *devices, NetworkManager *network);
    // Where offered files are written (default: the user's download folder).
    void setFolder(const QString &folder);

    void offer(const QString &serial, const UrlData &file, quint64 ticket);
    // A file fetched for an offer (a download whose type is no picture type).
    void onFileDownloaded(bool success, const ImageData &file, const QString &errorString);

    // The plain file name an offered link is stored under: its last non-empty
    // "/"-separated part, made safe for any file system, ending in ".dfu".
    static QString fileNameFor(const QString &link);

signals:
    // failure: empty when the upgrade was handed to the devices manager,
    // otherwise what became of the file ("NAME could not be downloaded: WHY").
    void offerEnded(quint64 ticket, QString failure);

private:
    struct Waiter {
        QString serial;
        quint64 ticket = 0;
    };

    // Writes the bytes under a unique name in the folder, never over an existing
    // file; returns the path, or an empty text after setting why not.
    QString store(const QString &link, const QByteArray &bytes, QString *failure) const;
    QString folder() const;
    void endOffers(const QVector<Waiter> &waiters, const QString &failure);

    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    QString m_folder;
    QHash<QString, QVector<Waiter>> m_waiters; // link -> devices waiting for its download
    QHash<QString, QString> m_files;         // link -> file this object wrote
};
