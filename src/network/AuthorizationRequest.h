#pragma once

#include "NetworkRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

// Adds the bearer token to calls that need one and, when the server rejects the
// token (401), has it renewed and sends the call again, a bounded number of times.
class AuthorizationRequest : public NetworkRequest
{
    Q_OBJECT

public:
    // Renewals one send may ask for before it gives up with AuthorizationError.
    static constexpr int kMaxRenewals = 3;

    explicit AuthorizationRequest(QObject *parent = nullptr);

    void setNeedsAuthorization(bool needs) { m_needsAuthorization = needs; }
    bool needsAuthorization() const { return m_needsAuthorization; }

protected:
    using NetworkRequest::send;
    void send(const QUrl &url, const RawHeaders &headers, Method method, const QByteArray &body) override;
    bool handleAnswer(const QByteArray &data) override;
    void prepare() override;
    void cancelled() override;

    // PUT and POST carry the payload (a multipart body or a device); GET and
    // DELETE go out as plain requests. The payload then belongs to the reply,
    // or to this request when nothing went out.
    template <typename Payload>
    QNetworkReply *sendWithPayload(QNetworkAccessManager *accessManager, const QNetworkRequest &request,
                                   int method, const QByteArray &body, Payload *payload)
    {
        QNetworkReply *reply = nullptr;
        switch (method) {
        case Get:
        case Delete:
            reply = AuthorizationRequest::sendRequest(accessManager, request, method, body);
            break;
        case Put:
            reply = accessManager->put(request, payload);
            break;
        case Post:
            reply = accessManager->post(request, payload);
            break;
        default:
            break;
        }
        payload->setParent(reply ? static_cast<QObject *>(reply) : static_cast<QObject *>(this));
        return reply;
    }

private slots:
    void slotAccessDataRefreshed(bool result);

private:
    void stopWaiting();

    bool m_needsAuthorization = false;
    bool m_refreshFailed = false;
    int m_renewals = 0;       // renewals asked for by the current send
    bool m_resending = false; // the next slotSend() resumes after a renewal
};
