#include "PasswordSource.h"

#include <QFile>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/stat.h>
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

#ifdef Q_OS_UNIX
// The terminal as it was before the prompt, for the signal handler: a signal that
// ends the process during the prompt must not leave the operator's shell blind.
termios g_terminal{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[sizeof kEndingSignals / sizeof kEndingSignals[0]];

void restoreTerminalAndEnd(int signalNumber)
{
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_terminal);
    const ssize_t ignored = ::write(STDERR_FILENO, "\n", 1);
    (void)ignored;
    // Ends the way the signal would have ended it: the shell sees the signal.
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

// Echo off until the guard goes, whether the read ends or a signal ends the process.
class QuietTerminal
{
public:
    explicit QuietTerminal(const termios &saved)
    {
        g_terminal = saved;
        struct sigaction action{};
        action.sa_handler = restoreTerminalAndEnd;
        sigemptyset(&action.sa_mask);
        for (int signalNumber : kEndingSignals)
            sigaddset(&action.sa_mask, signalNumber);
        for (size_t i = 0; i < sizeof kEndingSignals / sizeof kEndingSignals[0]; ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &g_previous[i]);
            // A signal the caller chose to ignore (nohup) stays ignored.
            if (g_previous[i].sa_handler != SIG_IGN)
                ::sigaction(kEndingSignals[i], &action, nullptr);
        }
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~QuietTerminal()
    {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_terminal);
        for (size_t i = 0; i < sizeof kEndingSignals / sizeof kEndingSignals[0]; ++i)
            ::sigaction(kEndingSignals[i], &g_previous[i], nullptr);
    }
    QuietTerminal(const QuietTerminal &) = delete;
    QuietTerminal &operator=(const QuietTerminal &) = delete;
};
#endif

QByteArray readStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return QByteArray();
#ifdef Q_OS_UNIX
    termios saved{};
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &saved) != 0)
        return in.readLine(4096);
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
    QByteArray line;
    {
        const QuietTerminal quiet(saved);
        line = in.readLine(4096);
    }
    std::fputs("\n", stderr);
    return line;
#else
    return in.readLine(4096);
#endif
}

// Others who can read the file can read the password.
bool checkAccess(const QFile &file, const QString &path, QString *error, QString *warning)
{
#ifdef Q_OS_UNIX
    struct stat facts{};
    if (::fstat(file.handle(), &facts) != 0)
        return true;
    if (facts.st_mode & S_IROTH) {
        *error = QStringLiteral("the password file %1 is readable by every user of this computer; "
                                "make it readable by its owner only (chmod 600)").arg(path);
        return false;
    }
    if (facts.st_mode & S_IRGRP)
        *warning = QStringLiteral("the password file %1 is readable by its group; "
                                  "make it readable by its owner only (chmod 600)").arg(path);
#else
    Q_UNUSED(file)
    Q_UNUSED(path)
    Q_UNUSED(error)
    Q_UNUSED(warning)
#endif
    return true;
}

} // namespace

bool PasswordSource::read(const QString &path, QString *password, QString *error, QString *warning)
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
        if (!checkAccess(file, path, error, warning))
            return false;
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
