#pragma once

#include "DownloadRequest.h"

// GET of an address set by the facade (company logo, firmware file); the type
// code only travels with the answer.
class DownloadDataRequest : public DownloadRequest
{
    Q_OBJECT

public:
    explicit DownloadDataRequest(QObject *parent = nullptr);

    // Also the kind of file, and so its size limit: the firmware file code
    // (NetworkManager::FirmwareFileKey) or a picture (the company logo).
    void setType(int type);
    int type() const { return m_type; }

private:
    int m_type = 0;
};
