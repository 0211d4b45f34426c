#pragma once

#include "ContentsInfo.h"
#include "JsonRequest.h"

#include <QDateTime>

// GET "account/event/last?...": the campaign event scheduled for one device.
class DeviceCampaignRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit DeviceCampaignRequest(QObject *parent = nullptr);

    // The result names the device even when the call fails.
    void setMacAddress(const QString &mac)
    {
        m_macAddress = mac;
        m_info.macAddress = mac;
    }
    QString macAddress() const { return m_macAddress; }

    ContentsInfo contentsInfo() const { return m_info; }

    QUrl url() const override;
    RawHeaders headers() const override;
    Method method() const override { return Get; }

    // The path asked for at a given local time.
    static QString pathAt(const QDateTime &localTime);

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QString m_macAddress;
    ContentsInfo m_info;
};
