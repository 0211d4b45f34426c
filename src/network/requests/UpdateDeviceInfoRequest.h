#pragma once

#include "JsonRequest.h"

#include <QDateTime>
#include <QStringList>

// PUT "account/tamo_device/<mac>": writes changed device details back.
class UpdateDeviceInfoRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit UpdateDeviceInfoRequest(QObject *parent = nullptr);

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }
    void setFirmwareRevision(const QString &v) { m_firmwareRevision = v; }
    void setSerialNumber(const QString &v) { m_serialNumber = v; }
    void setHardwareRevision(const QString &v) { m_hardwareRevision = v; }
    void setName(const QString &v) { m_name = v; }
    void setMobilePlatformVersion(const QString &v) { m_mobilePlatformVersion = v; }
    void setErased(bool erased) { m_erased = erased; }
    void setWithIds(bool withIds) { m_withIds = withIds; }
    void setTamoIds(const QStringList &ids) { m_tamoIds = ids; }
    void setPostIds(const QStringList &ids) { m_postIds = ids; }
    void setLastPairedAt(const QDateTime &when) { m_lastPairedAt = when; }

    // From the answer; empty, invalid or 0 until a successful answer.
    QString name() const { return m_answeredName; }
    QString label() const { return m_label; }
    QString location() const { return m_location; }
    QDateTime lastPairedAt() const { return m_answeredLastPairedAt; }
    qint64 userId() const { return m_userId; }

    QUrl url() const override;
    Method method() const override { return Put; }
    QByteArray body() const override;

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QString m_macAddress;
    QString m_firmwareRevision;
    QString m_serialNumber;
    QString m_hardwareRevision;
    QString m_name;
    QString m_mobilePlatformVersion;
    QString m_label;
    QString m_location;
    qint64 m_userId = 0;
    bool m_erased = false;
    bool m_withIds = false;
    QStringList m_tamoIds;
    QStringList m_postIds;
    QDateTime m_lastPairedAt;
    QString m_answeredName;
    QDateTime m_answeredLastPairedAt;
};
