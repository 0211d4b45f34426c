// tamo-devsim: simulated TAMO devices on pseudo-terminals (see --help).
#include "FirmwareCommand.h"
#include "SimConfig.h"
#include "Simulator.h"
#include "TerminationWatcher.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // The GLib event loop costs about 0.7 ms per request/answer round trip here;
    // the plain Unix one answers as fast as the terminal allows.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tamo-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMO_VERSION));
    // A reader of our standard output that goes away must not kill us with port files left.
    std::signal(SIGPIPE, SIG_IGN);

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("make-firmware"))
        return FirmwareCommand::run(arguments.mid(1));

    SimConfig config;
    int exitCode = 0;
    if (!SimConfig::parse(arguments, &config, &exitCode))
        return exitCode;

    Simulator simulator(config);
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, [&] {
        simulator.stop();
        app.quit();
    });
    QObject::connect(&simulator, &Simulator::quitRequested, &app, [&] {
        simulator.stop();
        app.quit();
    });
    QString error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "tamo-devsim: %s\n", qPrintable(error));
        return 1;
    }
    const int rc = app.exec();
    simulator.stop();
    return rc;
}
