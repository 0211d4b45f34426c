#pragma once

#include "AuthorizationRequest.h"

#include <QJsonArray>
#include <QJsonObject>

// A call with a JSON body and a JSON answer.
class JsonRequest : public AuthorizationRequest
{
    Q_OBJECT

public:
    explicit JsonRequest(QObject *parent = nullptr);

    RawHeaders headers() const override;
    Method method() const override;

    void setBase64Body(bool on) { m_base64Body = on; }
    bool base64Body() const { return m_base64Body; }
    void setPercentEncodeBody(bool on) { m_percentEncodeBody = on; }
    bool percentEncodeBody() const { return m_percentEncodeBody; }
    QJsonObject jsonObject() const { return m_jsonObject; }
    QJsonArray jsonArray() const { return m_jsonArray; }

protected:
    using AuthorizationRequest::send;
    void send(const QUrl &url, const RawHeaders &headers, Method method, const QByteArray &body) override;
    void parseAnswer(const QByteArray &data) override;

private:
    bool m_base64Body = false;
    bool m_percentEncodeBody = false;
    QJsonObject m_jsonObject;
    QJsonArray m_jsonArray;
};
