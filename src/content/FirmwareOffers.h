#pragma once

#include "ImageData.h"
#include "UrlData.h"

#include <QHash>
#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class DevicesManager;
class NetworkManager;

// Firmware that the cloud offers a device at registration: fetched once per
// link, whatever the number of devices waiting for it, written into the user's
// download folder, and handed to the devices manager for every device that
// waits for it. Files it wrote are removed when it goes; nothing else is.
class FirmwareOffers : public QObject
{
    Q_OBJECT

public:
    explicit FirmwareOffers(QObject *parent = nullptr);
    ~FirmwareOffers() override;

    void setManagers(DevicesManager *devices, NetworkManager *network);
    // Where offered files are written (default: the user's download folder).
    void setFolder(const QString &folder);

    void offer(const QString &serial, const UrlData &file);
    // A file fetched for an offer (a download whose type is no picture type).
    void onFileDownloaded(bool success, const ImageData &file);

    // The plain file name an offered link is stored under: its last non-empty
    // "/"-separated part, made safe for any file system, ending in ".dfu".
    static QString fileNameFor(const QString &link);

private:
    // Writes the bytes under a unique name in the folder, never over an existing
    // file; returns the path, or an empty text after logging why not.
    QString store(const QString &link, const QByteArray &bytes) const;
    QString folder() const;

    QPointer<DevicesManager> m_devices;
    QPointer<NetworkManager> m_network;
    QString m_folder;
    QMultiHash<QString, QString> m_waiters; // link -> serial number, each pair once
    QSet<QString> m_inFlight;                // links being downloaded
    QHash<QString, QString> m_files;         // link -> file this object wrote
};
