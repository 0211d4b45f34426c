#include "MinimalResponder.h"

#include "WordCrc32.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kAnswerSize = 8;
using AnswerTable = std::array<std::array<char, kAnswerSize>, 256>;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

AnswerTable makeAnswers()
{
    AnswerTable table{};
    for (int id = 0; id < 256; ++id) {
        QByteArray answer;
        answer.append(char(0x07));
        answer.append(char(id));
        answer.append(char(5));
        answer.append(char(4));
        char crc[4];
        qToLittleEndian(WordCrc32::compute(answer), crc);
        answer.append(crc, 4);
        std::memcpy(table[size_t(id)].data(), answer.constData(), kAnswerSize);
    }
    return table;
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

// The child's whole life: only read(), write(), memmove() and _exit(), which
// are safe after a fork from a process with threads.
[[noreturn]] void respond(int master, const AnswerTable &answers)
{
    char buffer[1024];
    size_t have = 0;
    for (;;) {
        const ssize_t n = ::read(master, buffer + have, sizeof buffer - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(0); // every slave descriptor is closed: the run is over
        have += size_t(n);
        for (;;) {
            if (have > 0 && buffer[0] != 0x07) {
                std::memmove(buffer, buffer + 1, --have);
                continue;
            }
            if (have < 4)
                break;
            const size_t frame = size_t(static_cast<unsigned char>(buffer[3])) + 4;
            if (have < frame)
                break;
            const auto &answer = answers[static_cast<unsigned char>(buffer[1])];
            if (!writeAll(master, answer.data(), answer.size()))
                ::_exit(1);
            have -= frame;
            std::memmove(buffer, buffer + frame, have);
        }
        if (have == sizeof buffer)
            have = 0; // no frame is that long: drop the noise
    }
}

} // namespace

MinimalResponder::~MinimalResponder()
{
    stop();
}

bool MinimalResponder::start(QString *error)
{
    stop();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char *name = nullptr;
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
        || !(name = ::ptsname(m_master))) {
        *error = systemError("pseudo-terminal");
        stop();
        return false;
    }
    m_portName = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios tio;
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        *error = systemError("opening the terminal");
        stop();
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        *error = systemError("setting the terminal raw");
        stop();
        return false;
    }

    const AnswerTable answers = makeAnswers();
    m_child = ::fork();
    if (m_child < 0) {
        *error = systemError("fork");
        stop();
        return false;
    }
    if (m_child == 0) {
        ::close(m_slave);
        respond(m_master, answers);
    }
    return true;
}

qint64 MinimalResponder::cpuNs() const
{
    if (m_child <= 0)
        return -1;
    QFile file(QStringLiteral("/proc/%1/schedstat").arg(m_child));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toLongLong();
}

void MinimalResponder::stop()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
    if (m_child > 0) {
        ::kill(m_child, SIGTERM);
        ::waitpid(m_child, nullptr, 0);
    }
    m_child = -1;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    m_portName.clear();
}
