#pragma once

#include <QJsonObject>
#include <QString>

#include <atomic>
#include <memory>

#include "ApiExchange.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}

class ApiRouter;
class FaultPlan;
struct CloudState;

// The HTTP(S) server on loopback: hands API calls to the router, serves file
// links, shows the record at /_sim/record, and applies latency and faults. It
// counts the connections it accepts and the TLS handshakes it completes and
// shows them at /_sim/connections, so that tests and benchmarks see whether
// clients reuse connections.
class HttpFront
{
public:
    struct Settings {
        QString urlHost;
        QString listenAddress = QStringLiteral("127.0.0.1");
        QString tlsCert;
        QString tlsKey;
        QString stateFile;
        int latencyMs = 0;
        int keepAliveSeconds = 60;
        bool quiet = false;
    };

    HttpFront(CloudState &state, const ApiRouter &router, FaultPlan &faults, const Settings &settings);
    ~HttpFront();

    // Binds 127.0.0.1:port (0: any free port); false with a reason.
    bool bind(int port, QString *error);
    QString baseUrl() const;
    // Serves until stop(); call from the thread that is to run the server.
    bool run();
    void stop();

private:
    void handle(const httplib::Request &request, httplib::Response &response);
    ApiAnswer answer(const httplib::Request &request, const QString &relativePath, QString *faultName);
    ApiAnswer fileAnswer(const httplib::Request &request);
    void record(const httplib::Request &request, const QString &relativePath, int status, const QString &faultName);
    QString origin() const;
    // {"accepted": N, "tlsHandshakes": N, "tlsResumed": N}
    QJsonObject connectionCounts() const;

    CloudState &m_state;
    const ApiRouter &m_router;
    FaultPlan &m_faults;
    Settings m_settings;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    std::atomic<long long> m_accepted{0};
};
