#include "PasswordSource.h"

#include <QFile>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace {

QString firstLine(const QByteArray &bytes)
{
    QByteArray line = bytes;
    const int end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

QByteArray readStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return QByteArray();
#ifdef Q_OS_UNIX
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const QByteArray line = in.readLine(4096);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    return line;
#else
    return in.readLine(4096);
#endif
}

} // namespace

bool PasswordSource::read(const QString &path, QString *password, QString *error)
{
    QByteArray bytes;
    if (path.isEmpty()) {
        bytes = readStandardInput();
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read the password file %1: %2").arg(path, file.errorString());
            return false;
        }
        bytes = file.readLine(4096);
    }
    *password = firstLine(bytes);
    if (password->isEmpty()) {
        *error = path.isEmpty() ? QStringLiteral("no password on standard input")
                                : QStringLiteral("the password file %1 holds no password").arg(path);
        return false;
    }
    return true;
}
