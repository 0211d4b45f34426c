#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

class QSocketNotifier;

// Run-time control lines for the simulator: from standard input when it is a
// pipe (tests drive the simulator through its standard input), and from a
// named pipe in the file system for people at a shell.
class ControlChannel : public QObject
{
    Q_OBJECT

public:
    explicit ControlChannel(QObject *parent = nullptr);
    ~ControlChannel() override;

    // False when standard input is no pipe: nothing to listen to.
    bool listenToStandardInput();
    bool listenToFifo(const QString &path, QString *error);

signals:
    void lineReceived(const QString &line);
    void standardInputClosed();

private:
    struct Source {
        int fd = -1;
        bool standardInput = false;
        QSocketNotifier *notifier = nullptr;
        QByteArray buffer;
    };
    void onReadable(int index);

    QVector<Source> m_sources;
    QString m_createdFifo;
};
