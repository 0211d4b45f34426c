#include "ControlChannel.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ControlChannel::ControlChannel(QObject *parent)
    : QObject(parent)
{
}

ControlChannel::~ControlChannel()
{
    for (Source &source : m_sources) {
        delete source.notifier;
        if (!source.standardInput)
            ::close(source.fd);
    }
    if (!m_createdFifo.isEmpty())
        QFile::remove(m_createdFifo);
}

bool ControlChannel::listenToStandardInput()
{
    struct stat info;
    if (::fstat(STDIN_FILENO, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)))
        return false;
    Source source;
    source.fd = STDIN_FILENO;
    source.standardInput = true;
    m_sources.append(source);
    const int index = m_sources.size() - 1;
    m_sources[index].notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_sources[index].notifier, &QSocketNotifier::activated, this, [this, index] { onReadable(index); });
    return true;
}

bool ControlChannel::listenToFifo(const QString &path, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        if (::mkfifo(native.constData(), 0600) != 0) {
            *error = QStringLiteral("cannot create the FIFO %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_createdFifo = path;
    } else if (!S_ISFIFO(info.st_mode)) {
        *error = QStringLiteral("%1 exists and is no FIFO").arg(path);
        return false;
    }
    // Opened for writing too, so that a writer closing it never ends the input.
    const int fd = ::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open the FIFO %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    Source source;
    source.fd = fd;
    m_sources.append(source);
    const int index = m_sources.size() - 1;
    m_sources[index].notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_sources[index].notifier, &QSocketNotifier::activated, this, [this, index] { onReadable(index); });
    return true;
}

void ControlChannel::onReadable(int index)
{
    Source &source = m_sources[index];
    char chunk[4096];
    const ssize_t n = ::read(source.fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        source.notifier->setEnabled(false);
        if (source.standardInput)
            emit standardInputClosed();
        return;
    }
    source.buffer.append(chunk, static_cast<int>(n));
    int end;
    while ((end = source.buffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(source.buffer.left(end)).trimmed();
        source.buffer.remove(0, end + 1);
        if (!line.isEmpty())
            emit lineReceived(line);
    }
}
