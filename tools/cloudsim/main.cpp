// tamo-cloudsim: a stand-in for the TAMO cloud service, for tests and demos.
#include "AccountEndpoints.h"
#include "ApiRouter.h"
#include "CampaignEndpoints.h"
#include "CloudState.h"
#include "DeviceEndpoints.h"
#include "FaultPlan.h"
#include "FirmwareEndpoints.h"
#include "FixtureLoader.h"
#include "HttpFront.h"
#include "SimOptions.h"
#include "TerminationWatcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

QByteArray signingSecret(const QString &file, QString *error)
{
    if (file.isEmpty()) {
        QByteArray secret(32, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(secret.data()), secret.size() / 4);
        return secret;
    }
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the secret file %1").arg(file);
        return QByteArray();
    }
    const QByteArray secret = input.readAll();
    if (secret.isEmpty())
        *error = QStringLiteral("the secret file %1 is empty").arg(file);
    return secret;
}

bool planFaults(const SimOptions &options, FaultPlan *faults, QString *error)
{
    for (const QString &text : options.fail) {
        if (!faults->addFail(text, error))
            return false;
    }
    for (const QString &text : options.reply) {
        if (!faults->addReply(text, error))
            return false;
    }
    for (const QString &text : options.malformed) {
        if (!faults->addMalformed(text, error))
            return false;
    }
    for (const QString &text : options.closeMidAnswer) {
        if (!faults->addCloseMidAnswer(text, error))
            return false;
    }
    for (const QString &text : options.slowBody) {
        if (!faults->addSlowBody(text, error))
            return false;
    }
    for (const QString &text : options.chunked) {
        if (!faults->addChunked(text, error))
            return false;
    }
    return true;
}

int failWith(const QString &message)
{
    std::fprintf(stderr, "tamo-cloudsim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-cloudsim"));
    // A client that hangs up mid-answer must not end the server.
    std::signal(SIGPIPE, SIG_IGN);

    SimOptions options;
    switch (options.parse(QCoreApplication::arguments())) {
    case SimOptions::Outcome::ExitOk: return 0;
    case SimOptions::Outcome::ExitError: return 1;
    case SimOptions::Outcome::Run: break;
    }

    QString error;
    const QByteArray secret = signingSecret(options.secretFile, &error);
    if (!error.isEmpty())
        return failWith(error);
    CloudState state(options.filesFolder, secret, options.tokenLifetime, options.refreshLifetime,
                     options.linkLifetime);
    FixtureLoader loader(state.files);
    if (!loader.loadFile(options.fixture, &state.store))
        return failWith(loader.errorString());
    FaultPlan faults;
    if (!planFaults(options, &faults, &error))
        return failWith(error);

    ApiRouter router(state.tokens);
    AccountEndpoints account(state);
    DeviceEndpoints devices(state);
    CampaignEndpoints campaigns(state);
    FirmwareEndpoints firmware(state);
    account.addRoutes(router);
    devices.addRoutes(router);
    campaigns.addRoutes(router);
    firmware.addRoutes(router);

    HttpFront::Settings settings;
    settings.urlHost = options.urlHost;
    settings.listenAddress = options.listen;
    settings.tlsCert = options.tlsCert;
    settings.tlsKey = options.tlsKey;
    settings.stateFile = options.stateFile;
    settings.latencyMs = options.latencyMs;
    settings.keepAliveSeconds = options.keepAliveSeconds;
    settings.quiet = options.quiet;
    HttpFront front(state, router, faults, settings);
    if (!front.bind(options.port, &error))
        return failWith(error);
    if (!options.stateFile.isEmpty() && !state.writeStateFile(options.stateFile))
        return failWith(QStringLiteral("cannot write the state file %1").arg(options.stateFile));

    std::fprintf(stdout, "%s\n", qPrintable(front.baseUrl()));
    std::fflush(stdout);

    TerminationWatcher watcher;
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &app, [] { QCoreApplication::quit(); });
    std::promise<bool> served;
    std::future<bool> serving = served.get_future();
    std::thread server([&front, &served] {
        served.set_value(front.run());
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); },
                                  Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    front.stop();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!options.stateFile.isEmpty())
            state.writeStateFile(options.stateFile);
    }
    // The library's workers wait out idle keep-alive connections (--keep-alive)
    // before they end; a stopping simulator has nothing left to say to them.
    if (serving.wait_for(std::chrono::milliseconds(500)) != std::future_status::ready) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    }
    server.join();
    return serving.get() ? 0 : 1;
}
