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
    QNetworkReply *reply = nullptr;
    switch (method) {
    case Get:
    case Delete:
        reply = AuthorizationRequest::sendRequest(accessManager, request, method, body);
        break;
    case Put:
        reply = accessManager->put(request, parts);
        break;
    case Post:
        reply = accessManager->post(request, parts);
        break;
    default:
        break;
    }
    parts->setParent(reply ? static_cast<QObject *>(reply) : this);
    return reply;
}
