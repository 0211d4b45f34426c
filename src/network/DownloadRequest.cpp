#include "DownloadRequest.h"

#include "CloudConnections.h"
#include "DownloadFileNames.h"
#include "FailureText.h"

#include <QFileDevice>
#include <QNetworkReply>

DownloadRequest::DownloadRequest(QObject *parent)
    : AuthorizationRequest(parent)
{
}

QString DownloadRequest::fileName() const
{
    if (auto *file = qobject_cast<QFileDevice *>(m_outputDevice))
        return file->fileName();
    return m_fileName;
}

qint64 DownloadRequest::sizeLimit() const
{
    return m_kind == FileKind::Firmware ? MaxFirmwareBytes : MaxPictureBytes;
}

bool DownloadRequest::withinLimit(qint64 bytes)
{
    if (bytes <= sizeLimit())
        return true;
    const QString what = m_kind == FileKind::Firmware ? tr("firmware file") : tr("picture");
    abortWithError(TooLargeError, FailureText::tooLarge(what, sizeLimit()));
    return false;
}

void DownloadRequest::send()
{
    m_writeError.clear();
    if (!CloudConnections::mayFetch(m_url)) {
        // Checked before anything is opened or sent: such a link is never fetched.
        finishWithError(RefusedLinkError, FailureText::linkRefused(m_url));
        return;
    }
    if (m_outputDevice && !m_outputDevice->isOpen() && !m_outputDevice->open(QIODevice::WriteOnly)) {
        // Nothing could be stored: fail instead of reporting a download that
        // never reached the disk.
        finishWithError(UnknownError, tr("Cannot write %1: %2").arg(fileName(), m_outputDevice->errorString()));
        return;
    }
    AuthorizationRequest::send();
}

QNetworkReply *DownloadRequest::sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request,
                                            int method, const QByteArray &body)
{
    QNetworkReply *reply = AuthorizationRequest::sendRequest(accessManager, request, method, body);
    if (reply && m_outputDevice && (m_outputDevice->isOpen() || m_outputDevice->open(QIODevice::WriteOnly)))
        connect(reply, &QNetworkReply::readyRead, this, &DownloadRequest::slotReadyRead, Qt::UniqueConnection);
    if (reply) {
        connect(reply, &QNetworkReply::metaDataChanged, this, &DownloadRequest::slotHeadersArrived,
                Qt::UniqueConnection);
        connect(reply, &QNetworkReply::downloadProgress, this, &DownloadRequest::slotBytesArrived,
                Qt::UniqueConnection);
    }
    m_data.clear();
    m_streamed = 0;
    return reply;
}

void DownloadRequest::slotHeadersArrived()
{
    auto *source = qobject_cast<QNetworkReply *>(sender());
    if (!source || source != reply())
        return;
    bool known = false;
    const qint64 announced = source->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known)
        withinLimit(announced);
}

void DownloadRequest::slotBytesArrived(qint64 received)
{
    if (sender() == reply())
        withinLimit(received);
}

void DownloadRequest::slotReadyRead()
{
    auto *source = qobject_cast<QNetworkReply *>(sender());
    if (!source || !m_outputDevice || !m_outputDevice->isOpen() || !m_outputDevice->isWritable())
        return;
    // Only a successful answer is file content; an error page stays in the reply
    // and becomes the error text.
    const int code = source->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (code < 200 || code > 299)
        return;
    // Counted before it is written: not a byte beyond the limit reaches the file.
    const QByteArray bytes = source->readAll();
    m_streamed += bytes.size();
    if (!withinLimit(m_streamed))
        return;
    writeToDevice(bytes);
}

bool DownloadRequest::writeToDevice(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !m_writeError.isEmpty())
        return m_writeError.isEmpty();
    if (m_outputDevice->write(bytes) != bytes.size()) {
        m_writeError = tr("Cannot write %1: %2").arg(fileName(), m_outputDevice->errorString());
        return false;
    }
    return true;
}

void DownloadRequest::closeDevice()
{
    if (!m_outputDevice || !m_outputDevice->isOpen())
        return;
    if (auto *file = qobject_cast<QFileDevice *>(m_outputDevice)) {
        if (!file->flush() && m_writeError.isEmpty())
            m_writeError = tr("Cannot write %1: %2").arg(fileName(), file->errorString());
    }
    m_outputDevice->close();
}

bool DownloadRequest::processReply(QNetworkReply *reply)
{
    const bool done = AuthorizationRequest::processReply(reply);
    if (!done)
        return false;
    if (reply) {
        const QString named = DownloadFileNames::fromContentDisposition(reply->rawHeader("Content-Disposition"));
        if (!named.isEmpty() || reply->rawHeader("Content-Disposition").contains("filename="))
            m_fileName = named;
        m_contentType = QString::fromUtf8(reply->rawHeader(QByteArrayLiteral("Content-Type")));
    }
    if (!m_writeError.isEmpty() && !hasError()) {
        setStatus(UnknownError);
        setErrorText(m_writeError);
    }
    if (hasError())
        closeDevice(); // also after a transport failure, whatever arrived is closed
    return true;
}

void DownloadRequest::parseAnswer(const QByteArray &data)
{
    if (m_outputDevice && m_outputDevice->isOpen()) {
        writeToDevice(data);
        closeDevice();
        return;
    }
    m_data = data;
}

void DownloadRequest::parseError(const QByteArray &data)
{
    closeDevice();
    AuthorizationRequest::parseError(data);
}
