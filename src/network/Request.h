#pragma once

#include "RawHeaders.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;
class QTimer;

// One call to the cloud: sends itself through the access manager it is handed
// (the cloud client's one connection pool), classifies the outcome into a
// status and an error text, and announces the end with finished(this). The
// receiver of finished() owns the request from then on. A request that is
// handed no manager, or needs one configured for itself alone (a proxy of its
// own, a disk cache), makes its own, configured as the shared one.
// Every send is bounded by an inactivity time-out: when no byte moves in either
// direction for timeout() ms, the send ends with TimeoutError; a slow answer
// that keeps arriving is never cut.
class Request : public QObject
{
    Q_OBJECT

public:
    enum Status {
        NoError = 0,
        TransportError = 1,
        CanceledError = 2,
        RedirectLoopError = 3,
        UnknownError = 4,
        TimeoutError = 5,
        AuthorizationError = 6,
        TooLargeError = 7,     // an answer beyond the size allowed for it
        RefusedLinkError = 8,  // a link that is never fetched (not https)
    };
    Q_ENUM(Status)

    explicit Request(QObject *parent = nullptr);
    ~Request() override;

    virtual QString errorString() const;
    virtual Status status() const;
    virtual bool hasError() const;

    // The connection pool to send through; not owned (the facade's). Without it
    // the request makes its own on its first send.
    void setAccessManager(QNetworkAccessManager *manager);

    int httpStatusCode() const { return m_httpStatusCode; }
    int networkError() const { return m_networkError; }
    // The inactivity time-out in ms (Timings::RequestTimeout when created; 0: none).
    int timeout() const { return m_timeout; }
    void setTimeout(int ms);
    int attempts() const { return m_attempts; }
    void setAttempts(int attempts);
    bool followRedirects() const { return m_followRedirects; }
    void setFollowRedirects(bool follow) { m_followRedirects = follow; }
    void setCacheDirectory(const QString &path);
    QNetworkProxy proxy() const { return m_proxy; }
    void setProxy(const QNetworkProxy &proxy) { m_proxy = proxy; }
    using QObject::startTimer;
    // Arms the time-out and starts the clock of elapsed(); every send does so.
    void startTimer();
    void resetAttempts();
    // After the end of a send: how long it took, in milliseconds.
    qint64 elapsed() const { return m_startTime; }
    // The caller's number for what it asked, handed back with the answer (0: none).
    quint64 ticket() const { return m_ticket; }
    void setTicket(quint64 ticket) { m_ticket = ticket; }

signals:
    void started();
    void finished(Request *request);
    void progressUpload(qint64 bytesSent, qint64 bytesTotal);
    void progressDownload(qint64 bytesReceived, qint64 bytesTotal);

public slots:
    void slotCancel();
    void slotCancelWithError();
    void slotSend();

protected slots:
    void slotSendFinished();
    virtual void slotHandleSslError(const QList<QSslError> &lListErrors);

private slots:
    void slotRequestFinished();
    void onTimerTimeout();

protected:
    virtual QNetworkRequest createRequest(const QUrl &url, const RawHeaders &headers);
    virtual QNetworkReply *sendRequest(QNetworkAccessManager *accessManager, const QNetworkRequest &request,
                                       int method, const QByteArray &body);
    virtual void prepare();
    virtual void send() = 0;
    // False: not finished yet, the request will be sent again later.
    virtual bool processReply(QNetworkReply *reply) = 0;
    virtual void finish();
    // A send was dropped without a signal (slotCancel) or ended without a reply.
    virtual void cancelled();

    // Sends (again): also used for retries and redirects.
    void dispatch(const QNetworkRequest &request, int method, const QByteArray &body);
    // Ends the current send at once, without any traffic, with this outcome.
    void finishWithError(Status status, const QString &text);
    // Aborts the reply in flight; the send ends with this outcome, whatever the
    // reply said.
    void abortWithError(Status status, const QString &text);
    // The reply in flight was cut by this request: its answer is not read.
    bool wasCut() const { return m_abortStatus != NoError; }

    void setStatus(Status status) { m_status = status; }
    void setErrorText(const QString &text) { m_errorText = text; }
    QString errorText() const { return m_errorText; }
    QNetworkReply *reply() const { return m_reply; }
    QNetworkAccessManager *accessManager();
    void stopTimeoutTimer();
    void clearVisitedRedirects() { m_visitedRedirects.clear(); }

private:
    void dropReply();
    // A manager configured for this request alone.
    void useOwnAccessManager();
    // The text of a transport failure that names the proxy in between.
    QString proxyFailureText(const QNetworkReply &reply) const;
    // Bytes moved: the connection is alive, the time-out starts again.
    void restartTimeout();
    QString timeoutText() const;

    Status m_status = UnknownError;
    int m_networkError = 0;
    QString m_errorText;
    int m_httpStatusCode = -1;
    bool m_followRedirects = false;
    QNetworkProxy m_proxy;
    QPointer<QNetworkAccessManager> m_accessManager;
    bool m_ownsAccessManager = false;
    QNetworkDiskCache *m_diskCache = nullptr;
    QTimer *m_timeoutTimer = nullptr;
    // Guarded: the replies of a shared manager go when it goes.
    QPointer<QNetworkReply> m_reply;
    QNetworkRequest m_lastRequest;
    int m_lastMethod = 0;
    QByteArray m_lastBody;
    int m_timeout = 0;
    int m_attempts = 1;
    int m_attemptsLeft = 1;
    qint64 m_startTime = 0;
    QList<QUrl> m_visitedRedirects;
    // The text of the SSL errors met by the reply in flight; the reply itself
    // only reports that the handshake failed.
    QString m_sslErrorText;
    // Set when this request aborted the reply in flight (time-out, size):
    // the outcome the send ends with.
    Status m_abortStatus = NoError;
    QString m_abortText;
    quint64 m_ticket = 0;
};
