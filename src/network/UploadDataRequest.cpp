#include "UploadDataRequest.h"

#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>

UploadDataRequest::UploadDataRequest(QObject *parent)
    : AuthorizationRequest(parent)
{
}

QNetworkReply *UploadDataRequest::sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request,
                                              int method, const QByteArray &body)
{
    QIODevice *device = uploadDevice();
    if (!device || !accessManager)
        return nullptr;
    if (!device->isOpen())
        device->open(QIODevice::ReadOnly);
    QNetworkReply *reply = nullptr;
    switch (method) {
    case Get:
    case Delete:
        reply = AuthorizationRequest::sendRequest(accessManager, request, method, body);
        break;
    case Put:
        reply = accessManager->put(request, device);
        break;
    case Post:
        reply = accessManager->post(request, device);
        break;
    default:
        break;
    }
    device->setParent(reply ? static_cast<QObject *>(reply) : static_cast<QObject *>(this));
    return reply;
}
