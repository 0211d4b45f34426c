#pragma once

#include "Request.h"

// A call described by four parts (address, headers, method, body), with the
// outcome classified by its HTTP status.
class NetworkRequest : public Request
{
    Q_OBJECT

public:
    enum Method {
        Get = 2,
        Put = 3,
        Post = 4,
        Delete = 5,
    };
    Q_ENUM(Method)

    explicit NetworkRequest(QObject *parent = nullptr);

    virtual QUrl url() const = 0;
    virtual RawHeaders headers() const = 0;
    virtual Method method() const;
    virtual QByteArray body() const;

    // The API base URL followed by path, parsed tolerantly (no further encoding).
    static QUrl apiUrl(const QString &path);

protected:
    void send() override;
    virtual void send(const QUrl &url, const RawHeaders &headers, Method method, const QByteArray &body);
    bool processReply(QNetworkReply *reply) override;
    // Classifies the answer by its HTTP status. An error answer that is not the
    // cloud's JSON error ends with the status and the first line of its text.
    virtual bool handleAnswer(const QByteArray &data);
    virtual void parseAnswer(const QByteArray &data) = 0;
    // The messages of the cloud's JSON error (empty for any other body).
    virtual void parseError(const QByteArray &data);

private:
    QByteArray m_reasonPhrase; // of the answer's status line
    QByteArray m_answerType;   // its Content-Type
};
