#include "JsonRequest.h"

#include "JsonHelpers.h"

#include <QJsonDocument>

JsonRequest::JsonRequest(QObject *parent)
    : AuthorizationRequest(parent)
{
}

RawHeaders JsonRequest::headers() const
{
    return jsonHeaders();
}

NetworkRequest::Method JsonRequest::method() const
{
    return Post;
}

void JsonRequest::send(const QUrl &url, const RawHeaders &headers, Method method, const QByteArray &body)
{
    QByteArray encoded = body;
    if (m_base64Body)
        encoded = encoded.toBase64();
    if (m_percentEncodeBody)
        encoded = encoded.toPercentEncoding();
    AuthorizationRequest::send(url, headers, method, encoded);
}

void JsonRequest::parseAnswer(const QByteArray &data)
{
    const QJsonDocument doc = parseJson(data);
    if (doc.isObject())
        m_jsonObject = doc.object();
    else if (doc.isArray())
        m_jsonArray = doc.array();
}
