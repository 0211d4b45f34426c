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
    return sendWithPayload(accessManager, request, method, body, device);
}
