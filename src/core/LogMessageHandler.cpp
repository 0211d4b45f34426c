#include "LogMessageHandler.h"

#include "Logger.h"

#include <QDateTime>
#include <QHash>

#include <cstdio>
#include <cstdlib>

QString logLevelText(QtMsgType type)
{
    static const QHash<int, QString> names = {
        {QtDebugMsg, QStringLiteral(" Debug   ")},
        {QtInfoMsg, QStringLiteral(" Info    ")},
        {QtWarningMsg, QStringLiteral(" Warning ")},
        {QtCriticalMsg, QStringLiteral(" Critical")},
        {QtFatalMsg, QStringLiteral(" Fatal   ")},
    };
    return names.value(type);
}

QString formatLogLine(QtMsgType type, const QDateTime &when, const QString &msg)
{
    return when.toString(QStringLiteral("yy-MM-dd hh:mm:ss")) + logLevelText(type)
        + QStringLiteral(" - ") + msg;
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    const QString line = formatLogLine(type, QDateTime::currentDateTime(), msg);
    const bool fatal = type == QtFatalMsg;

    if (Logger *logger = Logger::instance())
        logger->writeMessage(context, line, fatal);

    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);

    if (fatal)
        std::abort();
}
