// The cloud's answers as they come off the wire: every input is what a server
// sends back, byte for byte (status line, headers, body; cut off anywhere, the
// connection closed after it), to a request of the cloud client on a loopback
// socket. The first byte picks the request: a JSON endpoint, a download kept in
// memory, or one streamed into a device. Each goes through the shared access
// manager and the framework's one finishing path: status classification, the
// failure text of answers that are not the cloud's JSON, the size bound by
// Content-Length and by count, Content-Disposition names, cut-off bodies. The
// failure text and the disposition parsing are also fed the raw bytes directly.
#include "FuzzSupport.h"

#include "CloudConnections.h"
#include "DownloadFileNames.h"
#include "FailureText.h"
#include "requests/DownloadDataRequest.h"
#include "requests/FirmwareInfoRequest.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

using FuzzSupport::keep;

namespace {

// Answers every request (its head read whole, as a server does) with the
// current input and closes the connection.
class RawServer : public QTcpServer
{
public:
    QByteArray answer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (socket->property("answered").toBool() || !socket->peek(65536).contains("\r\n\r\n"))
                return; // GETs only: the head ends the request
            socket->setProperty("answered", true);
            socket->readAll();
            socket->write(answer);
            socket->disconnectFromHost(); // after the bytes are written
        });
    }
};

struct Harness {
    Harness()
    {
        static int argc = 1;
        static char name[] = "fuzz_http_answers";
        static char *argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        server.listen(QHostAddress::LocalHost, 0);
        const QByteArray base = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
        qputenv("TAMO_API_URL", base + "/api/v1/");
        fileUrl = QUrl(QString::fromLatin1(base + "/files/1/tamo.dfu?signature=s"));
        manager = CloudConnections::createAccessManager(nullptr);
    }

    std::unique_ptr<QCoreApplication> app;
    RawServer server;
    QUrl fileUrl;
    QNetworkAccessManager *manager = nullptr; // lives as long as the process
};

Harness &harness()
{
    // Never destroyed: the application object must outlive the exit handlers
    // that wait for Qt's thread pool.
    static Harness *h = new Harness;
    return *h;
}

void runToTheEnd(Request &request)
{
    QEventLoop loop;
    QObject::connect(&request, &Request::finished, &loop, &QEventLoop::quit);
    // A bound of the harness's own: every answer ends when its connection does.
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    request.slotSend();
    loop.exec();
    keep(request.status(), request.httpStatusCode(), request.errorString().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Harness &h = harness();
    const QByteArray answer = FuzzSupport::bytes(data + 1, size - 1);
    h.server.answer = answer;
    switch (data[0] % 3) {
    case 0: {
        FirmwareInfoRequest request;
        request.setNeedsAuthorization(false);
        request.setAccessManager(h.manager);
        runToTheEnd(request);
        keep(request.minFwVersion().size());
        break;
    }
    case 1: {
        DownloadDataRequest request;
        request.setAccessManager(h.manager);
        request.setUrl(h.fileUrl);
        runToTheEnd(request);
        keep(request.data().size(), request.fileName().size(), request.contentType().size());
        break;
    }
    default: {
        QBuffer file;
        DownloadDataRequest request;
        request.setAccessManager(h.manager);
        request.setType(1); // a firmware file, streamed
        request.setOutputDevice(&file);
        request.setUrl(h.fileUrl);
        runToTheEnd(request);
        keep(file.data().size(), request.fileName().size());
        break;
    }
    }
    // The same bytes as an error page of every kind and as a disposition header.
    const int status = 400 + data[0];
    keep(FailureText::httpAnswer(status, answer.left(40), answer.left(data[0] % 2 ? 9 : 0), answer).size(),
         DownloadFileNames::fromContentDisposition(answer).size());
    FuzzSupport::deliverPostedEvents();
    return 0;
}
