#pragma once

#include "AuthorizationRequest.h"

class QIODevice;

// Fetches one address; the answer is streamed into an output device, or kept in
// memory when none is set.
class DownloadRequest : public AuthorizationRequest
{
    Q_OBJECT

public:
    explicit DownloadRequest(QObject *parent = nullptr);

    QUrl url() const override { return m_url; }
    RawHeaders headers() const override { return {}; }
    Method method() const override { return Get; }

    void setUrl(const QUrl &url) { m_url = url; }
    // Not owned.
    void setOutputDevice(QIODevice *device) { m_outputDevice = device; }
    QIODevice *outputDevice() const { return m_outputDevice; }
    QByteArray data() const { return m_data; }
    QString contentType() const { return m_contentType; }
    // The output file's name when a file is set, otherwise the name the server
    // gave in Content-Disposition (reduced to a bare file name).
    QString fileName() const;

protected:
    using AuthorizationRequest::send;
    void send() override;
    QNetworkReply *sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request, int method,
                               const QByteArray &body) override;
    bool processReply(QNetworkReply *reply) override;
    void parseAnswer(const QByteArray &data) override;
    void parseError(const QByteArray &data) override;

private slots:
    void slotReadyRead();

private:
    bool writeToDevice(const QByteArray &bytes);
    void closeDevice();

    QUrl m_url;
    QString m_contentType;
    QIODevice *m_outputDevice = nullptr;
    QString m_fileName;
    QByteArray m_data;
    QString m_writeError; // set when the output device refused bytes
};
