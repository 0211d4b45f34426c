// A small program that logs through the real handler, for tests that need the
// logger's behaviour at process exit and on a fatal message.
//   tamo_log_probe LOGFILE [-l] [--lines N] [--fatal TEXT] [--at-exit TEXT]
// --at-exit logs TEXT from the destructor of a static object that was created
// before the logger, i.e. after main() and the logger's own exit step.
#include "LogMessageHandler.h"
#include "Logger.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

struct LateWords {
    QByteArray text;
    ~LateWords()
    {
        if (text.isEmpty())
            return;
        qInfo("%s", text.constData());
        Logger::instance()->flush();
    }
};

} // namespace

int main(int argc, char *argv[])
{
    static LateWords late; // before the logger exists
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

    const int lateAt = args.indexOf(QStringLiteral("--at-exit"));
    if (lateAt > 0)
        late.text = args.value(lateAt + 1).toUtf8();

    const int fatalAt = args.indexOf(QStringLiteral("--fatal"));
    if (fatalAt > 0)
        qFatal("%s", qPrintable(args.value(fatalAt + 1)));
    return 0;
}
