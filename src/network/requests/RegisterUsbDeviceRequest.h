#pragma once

#include "JsonRequest.h"
#include "UrlData.h"

// POST "tamo_device_usb": registers a device plugged in over USB; the answer says
// whether it is activated, where it is, and which firmware is waiting for it.
class RegisterUsbDeviceRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit RegisterUsbDeviceRequest(QObject *parent = nullptr);

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }
    void setLocation(const QString &location) { m_location = location; }
    QString location() const { return m_location; }
    void setFwVersion(const QString &version) { m_fwVersion = version; }
    QString fwVersion() const { return m_fwVersion; }
    void setUserId(int id) { m_userId = id; }
    int userId() const { return m_userId; }

    bool isActivated() const { return m_activated; }
    UrlData firmware() const { return m_firmware; }

    QUrl url() const override;
    QByteArray body() const override;

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QString m_macAddress;
    QString m_location;
    QString m_fwVersion;
    int m_userId = 0;
    bool m_activated = false;
    UrlData m_firmware;
};
