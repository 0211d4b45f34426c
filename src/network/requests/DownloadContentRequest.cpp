#include "DownloadContentRequest.h"

DownloadContentRequest::DownloadContentRequest(QObject *parent)
    : DownloadRequest(parent)
{
    setNeedsAuthorization(false);
}

void DownloadContentRequest::setFile(const UrlData &file)
{
    m_file = file;
    setUrl(QUrl(file.signedLink(), QUrl::TolerantMode));
    // Files without a picture type are the firmware offered at registration.
    setFileKind(file.isImage() || file.isGif() ? FileKind::Picture : FileKind::Firmware);
}

ImageData DownloadContentRequest::imageData() const
{
    return ImageData(m_file.type, m_file.link, {ImageFrame{data(), 0}});
}
