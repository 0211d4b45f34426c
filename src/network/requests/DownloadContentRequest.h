#pragma once

#include "DownloadRequest.h"
#include "ImageData.h"
#include "UrlData.h"

// GET of a picture's signed link (link, "?", signature), kept in memory.
class DownloadContentRequest : public DownloadRequest
{
    Q_OBJECT

public:
    explicit DownloadContentRequest(QObject *parent = nullptr);

    void setFile(const UrlData &file);
    UrlData file() const { return m_file; }

    // The file's type and link with one frame of the bytes that arrived (none
    // after most failures).
    ImageData imageData() const;

private:
    UrlData m_file;
};
