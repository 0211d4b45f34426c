#pragma once

#include "JsonRequest.h"

#include <QDateTime>
#include <QMap>
#include <QStringList>

// GET "account/content/device?limit=1000&where={"uuid":[...]}": creation dates of
// content items and the pictures of slideshows.
class ContentInfoRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit ContentInfoRequest(QObject *parent = nullptr);

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }
    void setUuids(const QStringList &uuids) { m_uuids = uuids; }
    QStringList uuids() const { return m_uuids; }

    QMap<QDateTime, QString> uuidsData() const { return m_uuidsData; }
    QMap<QString, QStringList> ssContentUuids() const { return m_ssContentUuids; }

    QUrl url() const override;
    Method method() const override { return Get; }

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    QStringList m_uuids;
    QString m_macAddress;
    QMap<QDateTime, QString> m_uuidsData;
    QMap<QString, QStringList> m_ssContentUuids;
};
