#include "TransferRound.h"

#include "CommandRunner.h"
#include "ContentIds.h"
#include "ProcessCpuTime.h"
#include "TransferCommandLists.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>

TransferRound::Outcome TransferRound::run(const QStringList &ports, const QStringList &ids,
                                          const QByteArray &content, int timeoutMs)
{
    Outcome outcome;
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] {
        outcome.error = QStringLiteral("the transfers did not finish within %1 ms").arg(timeoutMs);
        loop.exit(1);
    });
    int pending = ports.size();
    QStringList failures;

    const qint64 cpuStart = processCpuNs();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < ports.size(); ++i) {
        const QByteArray idBytes = idToBytes(ids.at(i));
        CommandList commands = imageTransferCommands(idBytes, content);
        outcome.exchanges += commands.size();
        auto *runner = new CommandRunner(DeviceAddress{QString(), ports.at(i), QString()}, std::move(commands));
        const QString port = ports.at(i);
        QObject::connect(runner, &CommandRunner::finished, &loop,
                         [&, port, idBytes](const QString &, bool ok,
                                            const QMap<int, QVariant> &data, const QString &error) {
                             if (!ok)
                                 failures << QStringLiteral("%1: %2").arg(port, error);
                             else if (data.value(BaseCommand::TransferredImageId).toByteArray()
                                      != idBytes)
                                 failures << QStringLiteral("%1: no identifier in the result")
                                                 .arg(port);
                             if (--pending == 0)
                                 loop.exit(0);
                         });
        QThreadPool::globalInstance()->start(runner);
    }
    guard.start(timeoutMs);
    const int rc = loop.exec();
    outcome.wallNs = clock.nsecsElapsed();
    outcome.cpuNs = processCpuNs() - cpuStart;
    if (rc != 0) {
        // Runners still at work must not outlive what they report to.
        QThreadPool::globalInstance()->waitForDone();
        return outcome;
    }
    outcome.ok = failures.isEmpty();
    outcome.error = failures.join(QStringLiteral("; "));
    return outcome;
}
