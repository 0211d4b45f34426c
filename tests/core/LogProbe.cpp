// A small program that logs through the real handler, for tests that need the
// logger's behaviour at process exit and on a fatal message.
//   tamo_log_probe LOGFILE [-l] [--lines N] [--fatal TEXT]
#include "LogMessageHandler.h"
#include "Logger.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    Logger::setFilePath(args.at(1));
    qInstallMessageHandler(logMessageHandler);
    Logger::instance()->setFileLoggingEnabled(args.contains(QStringLiteral("-l")));

    const int linesAt = args.indexOf(QStringLiteral("--lines"));
    const int lines = linesAt > 0 ? args.value(linesAt + 1).toInt() : 0;
    for (int i = 0; i < lines; ++i)
        qInfo("probe line %d", i);

    const int fatalAt = args.indexOf(QStringLiteral("--fatal"));
    if (fatalAt > 0)
        qFatal("%s", qPrintable(args.value(fatalAt + 1)));
    return 0;
}
