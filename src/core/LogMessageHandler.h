#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The process-wide message handler: formats every framework log message into one
// line, hands it to the Logger and prints it on standard error.
void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg);

// The nine-character level text of a message type (empty for an unknown type).
QString logLevelText(QtMsgType type);

// time stamp + level text + " - " + message, with the local time given.
QString formatLogLine(QtMsgType type, const QDateTime &when, const QString &msg);
