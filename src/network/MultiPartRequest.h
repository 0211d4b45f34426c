#pragma once

#include "AuthorizationRequest.h"

class QHttpMultiPart;

// A call whose body is a multipart object supplied by the subclass.
class MultiPartRequest : public AuthorizationRequest
{
    Q_OBJECT

public:
    explicit MultiPartRequest(QObject *parent = nullptr);

protected:
    QNetworkReply *sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request, int method,
                               const QByteArray &body) override;
    // A new body object for each send; the request takes it over.
    virtual QHttpMultiPart *multiPart() = 0;
};
