#include "LogMessageHandler.h"

#include "Logger.h"

#include <QDateTime>

#include <cstdio>
#include <cstdlib>

QString logLevelText(QtMsgType type)
{
    // No static table: messages keep coming while static objects are destroyed.
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral(" Debug   ");
    case QtInfoMsg:
        return QStringLiteral(" Info    ");
    case QtWarningMsg:
        return QStringLiteral(" Warning ");
    case QtCriticalMsg:
        return QStringLiteral(" Critical");
    case QtFatalMsg:
        return QStringLiteral(" Fatal   ");
    }
    return QString();
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

    Logger::instance()->writeMessage(context, line, fatal);

    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);

    if (fatal)
        std::abort();
}
