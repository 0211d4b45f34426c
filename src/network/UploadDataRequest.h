#pragma once

#include "AuthorizationRequest.h"

class QIODevice;

// A call whose body is read from a device supplied by the subclass.
class UploadDataRequest : public AuthorizationRequest
{
public:
    explicit UploadDataRequest(QObject *parent = nullptr);

protected:
    QNetworkReply *sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request, int method,
                               const QByteArray &body) override;
    // A new device for each send; the request takes it over.
    virtual QIODevice *uploadDevice() = 0;
};
