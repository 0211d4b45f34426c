#include "FirmwareLookupRequest.h"

#include "DownloadFileNames.h"

FirmwareLookupRequest::FirmwareLookupRequest(QObject *parent)
    : JsonRequest(parent)
{
}

void FirmwareLookupRequest::setFile(const QString &link, const QString &signature, const QString &serverName)
{
    m_fileUrl = QUrl(link + QLatin1Char('?') + signature, QUrl::TolerantMode);
    m_fileName = DownloadFileNames::safeFileName(serverName);
}
