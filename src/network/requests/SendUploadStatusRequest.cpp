#include "SendUploadStatusRequest.h"

#include "JsonHelpers.h"

SendUploadStatusRequest::SendUploadStatusRequest(QObject *parent)
    : JsonRequest(parent)
{
    setNeedsAuthorization(true);
}

QString SendUploadStatusRequest::statusText(Status status)
{
    switch (status) {
    case InProgress:
        return QStringLiteral("in progress");
    case Success:
        return QStringLiteral("success");
    case Failed:
        return QStringLiteral("failed");
    }
    return QString();
}

QUrl SendUploadStatusRequest::url() const
{
    return apiUrl(QStringLiteral("scheduled_event/") + QString::number(m_eventId) + QStringLiteral("/log"));
}

QByteArray SendUploadStatusRequest::body() const
{
    return jsonObjectToBytes({
        {QStringLiteral("macAddress"), m_macAddress},
        {QStringLiteral("status"), statusText(m_status)},
        {QStringLiteral("errorMessage"), m_errorMessage},
    });
}

void SendUploadStatusRequest::parseAnswer(const QByteArray &data)
{
    JsonRequest::parseAnswer(data); // nothing is read from the answer
}
