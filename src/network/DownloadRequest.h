#pragma once

#include "AuthorizationRequest.h"

class QIODevice;

// Fetches one address; the answer is streamed into an output device, or kept in
// memory when none is set. Every file from the cloud comes through here, so
// here it is bounded: only https links are fetched (plain http only while the
// API itself is reached over http), and an answer larger than its kind of file
// allows is refused by its announced length before its body arrives, or by the
// running count while it arrives.
class DownloadRequest : public AuthorizationRequest
{
    Q_OBJECT

public:
    // The largest file taken of each kind.
    static constexpr qint64 MaxPictureBytes = 50 * 1024 * 1024;
    static constexpr qint64 MaxFirmwareBytes = 16 * 1024 * 1024;
    enum class FileKind { Picture, Firmware };

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
    // What is fetched, and so the size allowed (a picture unless told).
    void setFileKind(FileKind kind) { m_kind = kind; }
    FileKind fileKind() const { return m_kind; }
    qint64 sizeLimit() const;
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
    void slotHeadersArrived();
    void slotBytesArrived(qint64 received);

private:
    // False, with the send aborted, once an answer is known to exceed the limit.
    bool withinLimit(qint64 bytes);
    bool writeToDevice(const QByteArray &bytes);
    void closeDevice();

    QUrl m_url;
    QString m_contentType;
    QIODevice *m_outputDevice = nullptr;
    QString m_fileName;
    QByteArray m_data;
    QString m_writeError; // set when the output device refused bytes
    FileKind m_kind = FileKind::Picture;
    qint64 m_streamed = 0; // bytes of this answer handed to the output device
};
