#include "DownloadDataRequest.h"

DownloadDataRequest::DownloadDataRequest(QObject *parent)
    : DownloadRequest(parent)
{
    setNeedsAuthorization(false);
}
