#include "SimOptions.h"

#include "FixtureLoader.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <arpa/inet.h>

#include <cstdio>

namespace {

bool readNumber(const QCommandLineParser &parser, const QString &name, qint64 minimum, qint64 *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qint64 number = parser.value(name).toLongLong(&ok);
    if (!ok || number < minimum) {
        std::fprintf(stderr, "tamo-cloudsim: --%s needs a whole number of at least %lld\n", qPrintable(name),
                     static_cast<long long>(minimum));
        return false;
    }
    *value = number;
    return true;
}

bool isLoopbackAddress(const QString &text)
{
    const QByteArray address = text.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, address.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, address.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

} // namespace

SimOptions::Outcome SimOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A stand-in for the TAMO cloud service on loopback: the REST API below /api/v1/, signed\n"
        "file links below /files/, and the record of what clients did at /_sim/record.\n"
        "The first line on standard output is the API base URL; one line per request goes to\n"
        "standard error. /_sim/connections counts the connections accepted and the TLS handshakes\n"
        "done (its own reading included), so that clients' connection reuse shows.\n"
        "SIGINT or SIGTERM stop it after the state file is written."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("TCP port on 127.0.0.1; 0 (the default) picks a free one."),
         QStringLiteral("N")},
        {QStringLiteral("url-host"),
         QStringLiteral("Host name written in the base URL and in file links (default 127.0.0.1; e.g. localhost when the certificate names it, or a name that a proxy resolves). The server listens on the --listen address whatever the name."),
         QStringLiteral("NAME")},
        {QStringLiteral("listen"),
         QStringLiteral("Loopback address to listen on (default 127.0.0.1; e.g. the address the machine's own name resolves to)."),
         QStringLiteral("ADDRESS")},
        {QStringLiteral("fixture"), QStringLiteral("The JSON fixture to serve (required; format below)."),
         QStringLiteral("FILE")},
        {QStringLiteral("files"),
         QStringLiteral("Folder of the fixture's picture and firmware files (default: the fixture's folder)."),
         QStringLiteral("DIR")},
        {QStringLiteral("tls-cert"), QStringLiteral("PEM certificate: serve HTTPS (needs --tls-key)."),
         QStringLiteral("FILE")},
        {QStringLiteral("tls-key"), QStringLiteral("PEM private key of --tls-cert."), QStringLiteral("FILE")},
        {QStringLiteral("token-lifetime"),
         QStringLiteral("Lifetime of access tokens (\"exp\" - \"iat\"), default 3600."), QStringLiteral("SECONDS")},
        {QStringLiteral("refresh-lifetime"), QStringLiteral("Lifetime of refresh tokens, default 2592000."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("link-lifetime"), QStringLiteral("Validity of signed file links, default 86400."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("secret-file"),
         QStringLiteral("File whose bytes sign tokens and links (default: random per run)."),
         QStringLiteral("FILE")},
        {QStringLiteral("state"),
         QStringLiteral("Write the record of client actions, with the devices and events as they stand, to FILE after every request (the same JSON as /_sim/record)."),
         QStringLiteral("FILE")},
        {QStringLiteral("latency-ms"), QStringLiteral("Delay every answer by MS milliseconds."),
         QStringLiteral("MS")},
        {QStringLiteral("keep-alive"),
         QStringLiteral("Close a connection after it has been idle for SECONDS (default 60, as a cloud's load balancer does)."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("fail"),
         QStringLiteral("Fault: answer STATUS on PATH without running the endpoint; the body is an HTML page, or {\"message\": MESSAGE} when a message is given. Repeatable."),
         QStringLiteral("PATH[@N|%P]=STATUS[:MESSAGE]")},
        {QStringLiteral("reply"),
         QStringLiteral("Fault: answer the bytes of FILE (status 200 or STATUS) on PATH as application/json without running the endpoint. Repeatable."),
         QStringLiteral("PATH[@N|%P]=[STATUS:]FILE")},
        {QStringLiteral("malformed"),
         QStringLiteral("Fault: run the endpoint, then send only the first half of its JSON body (a malformed document with a matching Content-Length). Repeatable."),
         QStringLiteral("PATH[@N|%P]")},
        {QStringLiteral("close-mid-answer"),
         QStringLiteral("Fault: run the endpoint, send the status line, the headers (with the full Content-Length) and half the body, then close the connection. Repeatable."),
         QStringLiteral("PATH[@N|%P]")},
        {QStringLiteral("slow-body"),
         QStringLiteral("Fault: run the endpoint, send the status line and the headers, then the body in 8 parts with a pause of MS milliseconds before each. A pause longer than a client's time-out is a stalled answer; shorter ones make a slow answer that keeps moving. Repeatable."),
         QStringLiteral("PATH[@N|%P]=MS")},
        {QStringLiteral("chunked"),
         QStringLiteral("Fault: run the endpoint, then send its body in chunks without announcing its length. Repeatable."),
         QStringLiteral("PATH[@N|%P]")},
        {QStringLiteral("quiet"), QStringLiteral("No request lines on standard error.")},
    });

    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tamo-cloudsim: %s\nTry --help.\n", qPrintable(parser.errorText()));
        return Outcome::ExitError;
    }
    if (parser.isSet(help)) {
        const QString text = parser.helpText()
            + QStringLiteral(
                  "\nFault paths: a path below the API base (\"signin/\", \"user/7\", \"account/event/last\"\n"
                  "without its query) or, for file links, below the server root (\"files/*\"). A trailing\n"
                  "\"*\" matches any rest; \"@N\" limits the fault to the first N matching requests,\n"
                  "\"%P\" (P below 100) to a random P percent of them.\n"
                  "Example: --fail 'refresh_token/@1=500' --close-mid-answer 'files/*' --fail 'account/*%10=503'\n\n")
            + FixtureLoader::formatDescription();
        std::fputs(qPrintable(text), stdout);
        return Outcome::ExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tamo-cloudsim: unexpected argument '%s'\n", qPrintable(parser.positionalArguments().first()));
        return Outcome::ExitError;
    }

    qint64 number = port;
    if (!readNumber(parser, QStringLiteral("port"), 0, &number) || number > 65535) {
        std::fprintf(stderr, "tamo-cloudsim: --port must be 0 to 65535\n");
        return Outcome::ExitError;
    }
    port = static_cast<int>(number);
    number = latencyMs;
    if (!readNumber(parser, QStringLiteral("latency-ms"), 0, &number)
        || !readNumber(parser, QStringLiteral("token-lifetime"), 1, &tokenLifetime)
        || !readNumber(parser, QStringLiteral("refresh-lifetime"), 1, &refreshLifetime)
        || !readNumber(parser, QStringLiteral("link-lifetime"), 1, &linkLifetime))
        return Outcome::ExitError;
    latencyMs = static_cast<int>(qMin<qint64>(number, 600000));
    number = keepAliveSeconds;
    if (!readNumber(parser, QStringLiteral("keep-alive"), 1, &number))
        return Outcome::ExitError;
    keepAliveSeconds = static_cast<int>(qMin<qint64>(number, 3600));

    fixture = parser.value(QStringLiteral("fixture"));
    if (fixture.isEmpty()) {
        std::fprintf(stderr, "tamo-cloudsim: --fixture FILE is required (see --help)\n");
        return Outcome::ExitError;
    }
    filesFolder = parser.isSet(QStringLiteral("files")) ? parser.value(QStringLiteral("files"))
                                                         : QFileInfo(fixture).absolutePath();
    tlsCert = parser.value(QStringLiteral("tls-cert"));
    tlsKey = parser.value(QStringLiteral("tls-key"));
    if (tlsCert.isEmpty() != tlsKey.isEmpty()) {
        std::fprintf(stderr, "tamo-cloudsim: --tls-cert and --tls-key go together\n");
        return Outcome::ExitError;
    }
    if (parser.isSet(QStringLiteral("url-host")))
        urlHost = parser.value(QStringLiteral("url-host"));
    if (parser.isSet(QStringLiteral("listen"))) {
        listen = parser.value(QStringLiteral("listen"));
        if (!isLoopbackAddress(listen)) {
            std::fprintf(stderr, "tamo-cloudsim: --listen takes a loopback address, not '%s'\n", qPrintable(listen));
            return Outcome::ExitError;
        }
    }
    secretFile = parser.value(QStringLiteral("secret-file"));
    stateFile = parser.value(QStringLiteral("state"));
    fail = parser.values(QStringLiteral("fail"));
    reply = parser.values(QStringLiteral("reply"));
    malformed = parser.values(QStringLiteral("malformed"));
    closeMidAnswer = parser.values(QStringLiteral("close-mid-answer"));
    slowBody = parser.values(QStringLiteral("slow-body"));
    chunked = parser.values(QStringLiteral("chunked"));
    quiet = parser.isSet(QStringLiteral("quiet"));
    return Outcome::Run;
}
