#include "InstanceActivation.h"

#include "Timings.h"

#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

const QByteArray kKnock = QByteArrayLiteral("show-window\n");
const QByteArray kAnswer = QByteArrayLiteral("ok\n");

} // namespace

InstanceActivation::InstanceActivation(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_path(socketPath)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceActivation::onNewConnection);
}

bool InstanceActivation::listen()
{
    // Only the holder of the instance lock gets here: whatever socket is there
    // was left by an instance that has ended.
    QLocalServer::removeServer(m_path);
    if (m_server->listen(m_path))
        return true;
    qWarning().noquote() << "A second start cannot bring this window forward:" << m_server->errorString();
    return false;
}

void InstanceActivation::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // A peer that says nothing is not waited for.
        QTimer::singleShot(Timings::ms(Timings::SecondStartAnswer), socket, &QLocalSocket::abort);
    }
}

void InstanceActivation::onReadyRead(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < kKnock.size())
        return;
    const QByteArray word = socket->read(kKnock.size());
    if (word == kKnock) {
        socket->write(kAnswer);
        socket->flush();
        emit activationRequested();
    }
    socket->disconnectFromServer();
}

bool InstanceActivation::knock(const QString &socketPath)
{
    const int wait = Timings::ms(Timings::SecondStartAnswer);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(wait))
        return false;
    socket.write(kKnock);
    if (!socket.waitForBytesWritten(wait))
        return false;
    while (socket.bytesAvailable() < kAnswer.size())
        if (!socket.waitForReadyRead(wait))
            return false;
    return socket.read(kAnswer.size()) == kAnswer;
}
