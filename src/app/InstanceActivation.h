#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// How a second start reaches the window that already runs: the first instance
// listens on a local socket beside its instance lock; a second start knocks and
// ends, and the first brings its window to the front. Only the user's own
// processes can connect, and the knock is the only word understood.
class InstanceActivation : public QObject
{
    Q_OBJECT

public:
    explicit InstanceActivation(const QString &socketPath, QObject *parent = nullptr);

    // The running instance, which holds the instance lock: a socket left behind
    // by a dead instance is replaced.
    bool listen();
    // A second start: true once the running instance has heard the knock.
    static bool knock(const QString &socketPath);

signals:
    void activationRequested();

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);

    QString m_path;
    QLocalServer *m_server;
};
