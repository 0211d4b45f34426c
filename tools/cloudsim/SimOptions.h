#pragma once

#include <QString>
#include <QStringList>

// The command line of tamo-cloudsim.
struct SimOptions
{
    int port = 0;
    QString urlHost = QStringLiteral("127.0.0.1");
    QString listen = QStringLiteral("127.0.0.1");
    QString fixture;
    QString filesFolder;
    QString tlsCert;
    QString tlsKey;
    QString secretFile;
    qint64 tokenLifetime = 3600;
    qint64 refreshLifetime = 30 * 24 * 3600;
    qint64 linkLifetime = 24 * 3600;
    QString stateFile;
    int latencyMs = 0;
    int keepAliveSeconds = 60;
    QStringList fail;
    QStringList reply;
    QStringList malformed;
    QStringList closeMidAnswer;
    QStringList slowBody;
    QStringList chunked;
    bool quiet = false;

    enum class Outcome { Run, ExitOk, ExitError };
    // Reads the arguments; help and errors are printed here.
    Outcome parse(const QStringList &arguments);
};
