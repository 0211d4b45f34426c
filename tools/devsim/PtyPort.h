#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class TtyOpenWatch;

// The device end of one simulated USB serial link: the master side of a
// pseudo-terminal whose slave path the host application opens. The port keeps
// a slave descriptor of its own, so the host may close and reopen its side at
// will; while the host has it closed, what the device sends is lost (as on a
// real USB port, whose driver drops data nobody reads) and what was left unread
// at the host's close is flushed. Closing the port (an unplug) closes the master:
// the host's reads and writes then fail.
class PtyPort : public QObject
{
    Q_OBJECT

public:
    explicit PtyPort(TtyOpenWatch *watch, QObject *parent = nullptr);
    ~PtyPort() override;

    bool open(QString *error);
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // True while the host application has the slave side open.
    bool hostListening();
    // Sends the bytes when the host listens; drops them otherwise.
    void send(const QByteArray &bytes);

signals:
    void received(const QByteArray &bytes);

private:
    void onReadable();
    void onWritable();
    void onLastClosed(int handle);

    TtyOpenWatch *m_watch;
    int m_master = -1;
    int m_ownSlave = -1;
    int m_watchHandle = -1;
    QString m_slavePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_outgoing;
};
