#pragma once

#include "JsonRequest.h"

#include <QMetaType>

// POST "scheduled_event/<id>/log": reports how the upload of an event went.
class SendUploadStatusRequest : public JsonRequest
{
    Q_OBJECT

public:
    enum Status {
        InProgress = 0,
        Success = 1,
        Failed = 2,
    };
    Q_ENUM(Status)

    explicit SendUploadStatusRequest(QObject *parent = nullptr);

    void setMacAddress(const QString &mac) { m_macAddress = mac; }
    QString macAddress() const { return m_macAddress; }
    void setEventId(qint64 id) { m_eventId = id; }
    qint64 eventId() const { return m_eventId; }
    void setStatus(Status status) { m_status = status; }
    Status uploadStatus() const { return m_status; }
    void setErrorMessage(const QString &message) { m_errorMessage = message; }

    // "in progress", "success", "failed"; empty for any other value.
    static QString statusText(Status status);

    QUrl url() const override;
    QByteArray body() const override;

protected:
    void parseAnswer(const QByteArray &data) override;

private:
    Status m_status = InProgress;
    QString m_errorMessage;
    QString m_macAddress;
    qint64 m_eventId = 0;
};

