#pragma once

#include "JsonRequest.h"
#include "SlideShowInfo.h"
#include "UrlData.h"

#include <QHash>
#include <QVector>

// GET "account/schedule_event/<id>/content": the pictures and slideshows of an event.
class CampaignContentRequest : public JsonRequest
{
    Q_OBJECT

public:
    explicit CampaignContentRequest(QObject *parent = nullptr);

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }
    void setEventId(qint64 id) { m_eventId = id; }
    qint64 eventId() const { return m_eventId; }

    QHash<QString, UrlData> imagesData() const { return m_imagesData; }
    QVector<SlideShowInfo> slideShows() const { return m_slideShows; }

    QUrl url() const override;
    Method method() const override { return Get; }

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    // Reads one content item; stores it when its format is known. Returns its uuid.
    QString parseItem(const QJsonObject &item);
    void parsePost(const QJsonObject &post);

    QString m_macAddress;
    qint64 m_eventId = -1;
    QHash<QString, UrlData> m_imagesData;
    QVector<SlideShowInfo> m_slideShows;
};
