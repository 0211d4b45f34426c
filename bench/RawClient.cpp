#include "RawClient.h"

#include "ProcessCpuTime.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Reads one answer frame; false with the reason.
bool readAnswer(int fd, char requestId, char *status, QString *error)
{
    char answer[256];
    int have = 0;
    int total = 4;
    while (have < total) {
        const ssize_t n = ::read(fd, answer + have, size_t(total - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n == 0 ? QStringLiteral("raw read: the far end went away")
                            : systemError("raw read");
            return false;
        }
        have += int(n);
        if (have >= 4 && total == 4) {
            total = static_cast<signed char>(answer[3]) + 4;
            if (total < 8 || total > int(sizeof answer)) {
                *error = QStringLiteral("raw read: bad answer length %1").arg(total);
                return false;
            }
        }
    }
    if (answer[1] != requestId) {
        *error = QStringLiteral("raw read: answer to another request");
        return false;
    }
    *status = answer[2];
    return true;
}

} // namespace

RawClient::Outcome RawClient::exchange(const QString &portName, const QVector<QByteArray> &requests)
{
    Outcome outcome;
    const int fd = ::open(QFile::encodeName(portName).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios tio;
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) {
        outcome.error = systemError("raw open");
        if (fd >= 0)
            ::close(fd);
        return outcome;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIOFLUSH);

    const qint64 cpuStart = processCpuNs();
    QElapsedTimer clock;
    clock.start();
    for (const QByteArray &request : requests) {
        if (!writeAll(fd, request.constData(), size_t(request.size()))) {
            outcome.error = systemError("raw write");
            ::close(fd);
            return outcome;
        }
        char status = 0;
        if (!readAnswer(fd, request.at(1), &status, &outcome.error)) {
            ::close(fd);
            return outcome;
        }
        if (status != 0 && status != 5)
            ++outcome.rejected;
    }
    outcome.wallNs = clock.nsecsElapsed();
    outcome.cpuNs = processCpuNs() - cpuStart;
    ::close(fd);
    return outcome;
}
