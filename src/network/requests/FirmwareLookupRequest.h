#pragma once

#include "JsonRequest.h"

#include <QUrl>

// A call that finds a firmware file: its signed address and a bare file name,
// plus the folder the caller wants the file in.
class FirmwareLookupRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit FirmwareLookupRequest(QObject *parent = nullptr);

    Method method() const override { return Get; }

    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    QUrl fileUrl() const { return m_fileUrl; }
    // A bare file name: what the server sends never chooses a folder.
    QString fileName() const { return m_fileName; }

protected:
    // link + "?" + signature; the name goes through DownloadFileNames::safeFileName.
    void setFile(const QString &link, const QString &signature, const QString &serverName);

private:
    QString m_folder;
    QString m_fileName;
    QUrl m_fileUrl;
};
