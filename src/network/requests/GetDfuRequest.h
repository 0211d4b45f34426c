#pragma once

#include "FirmwareLookupRequest.h"

// GET "tamo_device_usb/upgrade": the current firmware file, without a login.
class GetDfuRequest : public FirmwareLookupRequest
{
    Q_OBJECT

public:
    explicit GetDfuRequest(QObject *parent = nullptr);

    QUrl url() const override;

protected:
    void parseAnswer(const QByteArray &data) override;
};
