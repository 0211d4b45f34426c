#include "DownloadDataRequest.h"

#include "NetworkManager.h"

DownloadDataRequest::DownloadDataRequest(QObject *parent)
    : DownloadRequest(parent)
{
    setNeedsAuthorization(false);
}

void DownloadDataRequest::setType(int type)
{
    m_type = type;
    setFileKind(type == NetworkManager::FirmwareFileKey ? FileKind::Firmware : FileKind::Picture);
}
