#include "HttpFront.h"

#include "ApiRouter.h"
#include "CloudState.h"
#include "FaultPlan.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QtDebug>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

const QString ApiBase = QStringLiteral("/api/v1/");
const QString RecordPath = QStringLiteral("/_sim/record");
const QString ConnectionsPath = QStringLiteral("/_sim/connections");
// Workers for connections: a kept-alive connection holds one while it waits for
// its next request, and a client may keep several (Qt keeps up to six a host).
constexpr size_t kWorkers = 32;

// The library's worker pool, counting the connections handed to it: each
// accepted connection is one task.
class CountingQueue : public httplib::TaskQueue
{
public:
    explicit CountingQueue(std::atomic<long long> &accepted)
        : m_accepted(accepted)
        , m_pool(kWorkers)
    {
    }
    void enqueue(std::function<void()> fn) override
    {
        ++m_accepted;
        m_pool.enqueue(std::move(fn));
    }
    void shutdown() override { m_pool.shutdown(); }

private:
    std::atomic<long long> &m_accepted;
    httplib::ThreadPool m_pool;
};

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

ApiAnswer htmlError(int status)
{
    ApiAnswer answer;
    answer.status = status;
    answer.contentType = "text/html; charset=utf-8";
    const QByteArray code = QByteArray::number(status);
    answer.body = "<!DOCTYPE html>\n<html><head><title>" + code + " Error</title></head>\n<body><h1>" + code
        + " Error</h1><p>The server could not answer this request.</p></body></html>\n";
    return answer;
}

} // namespace

HttpFront::HttpFront(CloudState &state, const ApiRouter &router, FaultPlan &faults, const Settings &settings)
    : m_state(state)
    , m_router(router)
    , m_faults(faults)
    , m_settings(settings)
{
}

HttpFront::~HttpFront() = default;

bool HttpFront::bind(int port, QString *error)
{
    if (m_settings.tlsCert.isEmpty()) {
        m_server = std::make_unique<httplib::Server>();
    } else {
        m_server = std::make_unique<httplib::SSLServer>(m_settings.tlsCert.toLocal8Bit().constData(),
                                                        m_settings.tlsKey.toLocal8Bit().constData());
    }
    if (!m_server->is_valid()) {
        *error = QStringLiteral("cannot use the certificate %1 with the key %2").arg(m_settings.tlsCert, m_settings.tlsKey);
        return false;
    }
    const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response);
    };
    // Every method reaches one handler, so that a known path with the wrong
    // method gets 405 rather than the library's 404.
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->Put(".*", handler);
    m_server->Patch(".*", handler);
    m_server->Delete(".*", handler);
    m_server->Options(".*", handler);
    m_server->new_task_queue = [this] { return new CountingQueue(m_accepted); };
    m_server->set_payload_max_length(8 * 1024 * 1024);
    m_server->set_keep_alive_max_count(1000);
    m_server->set_keep_alive_timeout(m_settings.keepAliveSeconds);
    m_server->set_tcp_nodelay(true);
    // The library's default is SO_REUSEPORT, with which a second simulator
    // would silently share the port and take half of the requests.
    m_server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });

    const std::string address = m_settings.listenAddress.toStdString();
    if (port == 0) {
        m_port = m_server->bind_to_any_port(address);
    } else {
        m_port = m_server->bind_to_port(address, port) ? port : -1;
    }
    if (m_port <= 0) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(m_settings.listenAddress).arg(port);
        return false;
    }
    return true;
}

QString HttpFront::origin() const
{
    return QStringLiteral("%1://%2:%3")
        .arg(m_settings.tlsCert.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"), m_settings.urlHost)
        .arg(m_port);
}

QJsonObject HttpFront::connectionCounts() const
{
    QJsonObject counts{{QStringLiteral("accepted"), double(m_accepted.load())}};
    if (auto *tls = dynamic_cast<httplib::SSLServer *>(m_server.get())) {
        SSL_CTX *context = tls->ssl_context();
        counts.insert(QStringLiteral("tlsHandshakes"), double(SSL_CTX_sess_accept_good(context)));
        counts.insert(QStringLiteral("tlsResumed"), double(SSL_CTX_sess_hits(context)));
    }
    return counts;
}

QString HttpFront::baseUrl() const
{
    return origin() + ApiBase;
}

bool HttpFront::run()
{
    return m_server->listen_after_bind();
}

void HttpFront::stop()
{
    if (m_server)
        m_server->stop();
}

ApiAnswer HttpFront::fileAnswer(const httplib::Request &request)
{
    if (request.method != "GET" && request.method != "HEAD") {
        ApiAnswer refusal = ApiAnswer::error(405, QStringLiteral("Files are only fetched with GET"));
        refusal.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET")));
        return refusal;
    }
    // A signed link is its own credential; a second one is refused, as
    // storage services do.
    if (request.has_header("Authorization"))
        return ApiAnswer::error(400, QStringLiteral("A signed link takes no Authorization header"));
    QList<QPair<QString, QString>> query;
    for (const auto &param : request.params)
        query.append({text(param.first), text(param.second)});
    const FileShelf::Fetched fetched = m_state.files.fetch(text(request.path), query);
    if (fetched.status != 200)
        return ApiAnswer::error(fetched.status, fetched.message);
    ApiAnswer answer;
    answer.contentType = fetched.contentType;
    answer.body = fetched.body;
    answer.headers.append(qMakePair(QByteArray("Content-Disposition"), fetched.disposition));
    return answer;
}

ApiAnswer HttpFront::answer(const httplib::Request &request, const QString &relativePath, QString *faultName)
{
    FaultPlan::Fault fault;
    if (m_faults.take(FaultPlan::Kind::Fail, relativePath, &fault)) {
        *faultName = FaultPlan::kindName(fault.kind);
        return fault.message.isEmpty() ? htmlError(fault.status) : ApiAnswer::error(fault.status, fault.message);
    }
    if (m_faults.take(FaultPlan::Kind::Reply, relativePath, &fault)) {
        *faultName = FaultPlan::kindName(fault.kind);
        ApiAnswer canned;
        canned.status = fault.status;
        canned.body = fault.body;
        canned.contentType = fault.contentType;
        return canned;
    }
    const QString path = text(request.path);
    if (FileShelf::isFilePath(path))
        return fileAnswer(request);
    if (!path.startsWith(ApiBase))
        return ApiAnswer::error(404, QStringLiteral("Not found: %1").arg(path));

    // The library reads no body on a GET; one that was sent anyway is refused,
    // and the connection closed, since its bytes still wait on the socket.
    if ((request.method == "GET" || request.method == "HEAD")
        && ((request.has_header("Content-Length") && request.get_header_value("Content-Length") != "0")
            || request.has_header("Transfer-Encoding"))) {
        ApiAnswer refusal = ApiAnswer::error(400, QStringLiteral("A %1 carries no body").arg(text(request.method)));
        refusal.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
        return refusal;
    }

    ApiCall call;
    call.method = text(request.method);
    call.path = relativePath;
    call.rawTarget = text(request.target);
    call.origin = origin();
    call.body = QByteArray::fromStdString(request.body);
    // The library keeps parameters sorted by name; the target keeps their order.
    for (const auto &param : request.params)
        call.query.append({text(param.first), text(param.second)});
    for (const auto &header : request.headers)
        call.headers.insert(text(header.first).toLower(), text(header.second));
    return m_router.dispatch(call);
}

void HttpFront::record(const httplib::Request &request, const QString &relativePath, int status,
                       const QString &faultName)
{
    QJsonObject headers;
    for (const auto &header : request.headers) {
        const QString name = text(header.first);
        // The library adds the peer's address as pseudo headers.
        if (name.startsWith(QLatin1String("REMOTE_")) || name.startsWith(QLatin1String("LOCAL_")))
            continue;
        const bool secret = name.compare(QLatin1String("Authorization"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("Cookie"), Qt::CaseInsensitive) == 0;
        headers.insert(name, secret ? QStringLiteral("***") : text(header.second));
    }
    const QString path = text(request.path);
    // A file link's query is its signature: it stays out of the record.
    const QString target = FileShelf::isFilePath(path) ? path : text(request.target);
    QJsonObject entry{
        {QStringLiteral("method"), text(request.method)},
        {QStringLiteral("path"), relativePath},
        {QStringLiteral("target"), target},
        {QStringLiteral("status"), status},
        {QStringLiteral("bearer"), request.has_header("Authorization")},
        {QStringLiteral("headers"), headers},
    };
    if (!faultName.isEmpty())
        entry.insert(QStringLiteral("fault"), faultName);
    m_state.record.add(QStringLiteral("requests"), entry);
    if (!m_settings.stateFile.isEmpty() && !m_state.writeStateFile(m_settings.stateFile))
        qWarning("tamo-cloudsim: cannot write the state file %s", qPrintable(m_settings.stateFile));
}

void HttpFront::handle(const httplib::Request &request, httplib::Response &response)
{
    QElapsedTimer timer;
    timer.start();
    if (m_settings.latencyMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_settings.latencyMs));

    const QString path = text(request.path);
    if (path == ConnectionsPath) {
        const ApiAnswer shown = request.method == "GET"
            ? ApiAnswer::json(connectionCounts())
            : ApiAnswer::error(405, QStringLiteral("The counts are read with GET"));
        response.status = shown.status;
        response.set_content(shown.body.toStdString(), shown.contentType.toStdString());
        return;
    }
    if (path == RecordPath) {
        ApiAnswer shown;
        if (request.method == "GET") {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            shown = ApiAnswer::json(m_state.document());
        } else {
            shown = ApiAnswer::error(405, QStringLiteral("The record is read with GET"));
        }
        response.status = shown.status;
        response.set_content(shown.body.toStdString(), shown.contentType.toStdString());
        return;
    }

    const QString relativePath = path.startsWith(ApiBase) ? path.mid(ApiBase.size()) : path.mid(1);
    QString faultName;
    ApiAnswer reply;
    int pauseMs = -1; // a slow body: the pause before each of its parts
    bool chunked = false;
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        reply = answer(request, relativePath, &faultName);
        FaultPlan::Fault fault;
        if (faultName.isEmpty() && m_faults.take(FaultPlan::Kind::Malformed, relativePath, &fault)) {
            faultName = FaultPlan::kindName(fault.kind);
            reply.body.truncate(reply.body.size() / 2);
        }
        if (faultName.isEmpty() && m_faults.take(FaultPlan::Kind::CloseMidAnswer, relativePath, &fault))
            faultName = FaultPlan::kindName(fault.kind);
        if (faultName.isEmpty() && m_faults.take(FaultPlan::Kind::SlowBody, relativePath, &fault)) {
            faultName = FaultPlan::kindName(fault.kind);
            pauseMs = fault.pauseMs;
        }
        if (faultName.isEmpty() && m_faults.take(FaultPlan::Kind::Chunked, relativePath, &fault)) {
            faultName = FaultPlan::kindName(fault.kind);
            chunked = true;
        }
        record(request, relativePath, reply.status, faultName);
    }

    response.status = reply.status;
    for (const auto &header : reply.headers)
        response.set_header(header.first.toStdString(), header.second.toStdString());
    if (faultName == FaultPlan::kindName(FaultPlan::Kind::CloseMidAnswer)) {
        // The full length is announced, half is sent, then the provider gives
        // up and the library drops the connection.
        const auto body = std::make_shared<std::string>(reply.body.toStdString());
        response.set_content_provider(
            body->size(), reply.contentType.toStdString(),
            [body](size_t offset, size_t, httplib::DataSink &sink) {
                const size_t half = body->size() / 2;
                if (offset < half)
                    sink.write(body->data() + offset, half - offset);
                return false;
            });
    } else if (pauseMs >= 0) {
        const auto body = std::make_shared<std::string>(reply.body.toStdString());
        response.set_content_provider(
            body->size(), reply.contentType.toStdString(),
            [body, pauseMs](size_t offset, size_t, httplib::DataSink &sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                const size_t part = (body->size() + 7) / 8;
                return sink.write(body->data() + offset, std::min(part, body->size() - offset));
            });
    } else if (chunked) {
        // No length is announced: a client learns the size only as it arrives.
        const auto body = std::make_shared<std::string>(reply.body.toStdString());
        response.set_chunked_content_provider(
            reply.contentType.toStdString(), [body](size_t offset, httplib::DataSink &sink) {
                const size_t part = std::min<size_t>(64 * 1024, body->size() - offset);
                if (part > 0 && !sink.write(body->data() + offset, part))
                    return false;
                if (offset + part >= body->size())
                    sink.done();
                return true;
            });
    } else {
        response.set_content(reply.body.toStdString(), reply.contentType.toStdString());
    }
    if (!m_settings.quiet) {
        qInfo("%s %s -> %d%s (%lld ms)", request.method.c_str(), qPrintable(FileShelf::isFilePath(path) ? path : text(request.target)),
              reply.status, faultName.isEmpty() ? "" : qPrintable(QStringLiteral(" [%1]").arg(faultName)),
              static_cast<long long>(timer.elapsed()));
    }
}
