#pragma once

#include "JsonRequest.h"

#include <QDateTime>

// GET "tamo_device?where={"mac":...}": the cloud's record of one device.
class DeviceInfoRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit DeviceInfoRequest(QObject *parent = nullptr);

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }

    QString name() const { return m_name; }
    QString label() const { return m_label; }
    QString location() const { return m_location; }
    QDateTime lastPairedAt() const { return m_lastPairedAt; }
    int userId() const { return m_userId; }
    int brightness() const { return m_brightness; }
    bool toErase() const { return m_toErase; }
    QString firmwareRevision() const { return m_firmwareRevision; }
    QString hardwareRevision() const { return m_hardwareRevision; }

    QUrl url() const override;
    Method method() const override { return Get; }

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QString m_macAddress;
    QString m_name;
    QString m_label;
    QString m_location;
    QDateTime m_lastPairedAt;
    int m_userId = 0;
    int m_brightness = 0;
    bool m_toErase = false;
    QString m_firmwareRevision;
    QString m_hardwareRevision;
};
