#include "MultiPartRequest.h"

#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>

MultiPartRequest::MultiPartRequest(QObject *parent)
    : AuthorizationRequest(parent)
{
}

QNetworkReply *MultiPartRequest::sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request,
                                             int method, const QByteArray &body)
{
    QHttpMultiPart *parts = multiPart();
    if (!parts || !accessManager)
        return nullptr;
    return sendWithPayload(accessManager, request, method, body, parts);
}
