#include "NetworkRequest.h"

#include "CloudAddresses.h"
#include "FailureText.h"
#include "JsonHelpers.h"
#include "SecretRedactor.h"

#include <QNetworkReply>

NetworkRequest::NetworkRequest(QObject *parent)
    : Request(parent)
{
}

NetworkRequest::Method NetworkRequest::method() const
{
    return Get;
}

QByteArray NetworkRequest::body() const
{
    return {};
}

QUrl NetworkRequest::apiUrl(const QString &path)
{
    return QUrl(CloudAddresses::apiBaseUrl() + path, QUrl::TolerantMode);
}

void NetworkRequest::send()
{
    send(url(), headers(), method(), body());
}

void NetworkRequest::send(const QUrl &url, const RawHeaders &headers, Method method, const QByteArray &body)
{
    stopTimeoutTimer();
    resetAttempts();
    clearVisitedRedirects();
    dispatch(createRequest(url, headers), method, body);
}

bool NetworkRequest::processReply(QNetworkReply *reply)
{
    if (!reply || wasCut())
        return true;
    m_reasonPhrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_answerType = reply->rawHeader(QByteArrayLiteral("Content-Type"));
    return handleAnswer(reply->readAll());
}

bool NetworkRequest::handleAnswer(const QByteArray &data)
{
    const int code = httpStatusCode();
    if (code >= 200 && code <= 299) {
        if (networkError() != QNetworkReply::NoError)
            return true; // a good start cut short: the transport failure stands
        setStatus(NoError);
        setErrorText(QString());
        parseAnswer(data);
        return true;
    }
    if (code > 0) {
        setStatus(UnknownError);
        parseError(data);
        // Not the cloud's JSON error (a gateway's page, a bare status): the
        // status and what the page says.
        if (errorText().isEmpty())
            setErrorText(FailureText::httpAnswer(code, m_reasonPhrase, m_answerType, data));
        // Server words reach logs and dialogs: a quoted secret must not.
        setErrorText(SecretRedactor::redact(errorText()));
        return true;
    }
    if (code == 0 && networkError() == QNetworkReply::HostNotFoundError)
        setErrorText(tr("Network unreachable"));
    return true;
}

void NetworkRequest::parseError(const QByteArray &data)
{
    setErrorText(errorTextFromJson(data));
}
