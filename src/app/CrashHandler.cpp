#include "CrashHandler.h"

#include "AppPaths.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <dbghelp.h>
#include <shlobj.h>
#include <cwchar>
#else
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString CrashHandler::reportExtension()
{
#ifdef Q_OS_WIN
    return QStringLiteral(".dmp");
#else
    return QStringLiteral(".txt");
#endif
}

QString CrashHandler::reportFileName(int year, int month, int day, int hour, int minute,
                                     int second, const QString &user)
{
    return QString::asprintf("Tamo_%02d-%02d-%02d-%02d%02d%02d_", year, month, day, hour,
                             minute, second)
        + user + reportExtension();
}

#ifdef Q_OS_WIN

LONG WINAPI unhandledExceptionFilter(EXCEPTION_POINTERS *exceptionPointers)
{
    SYSTEMTIME time;
    GetSystemTime(&time);

    wchar_t user[256] = {};
    DWORD userLength = 256;
    GetUserNameW(user, &userLength);

    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path)))
        return EXCEPTION_EXECUTE_HANDLER;
    wcscat_s(path, L"\\Tamo");
    CreateDirectoryW(path, nullptr);
    wcscat_s(path, L"\\Crashes");
    CreateDirectoryW(path, nullptr);

    wchar_t name[MAX_PATH] = {};
    swprintf_s(name, L"\\Tamo_%02d-%02d-%02d-%02d%02d%02d_%s.dmp", time.wYear, time.wMonth,
               time.wDay, time.wHour, time.wMinute, time.wSecond, user);
    wcscat_s(path, name);

    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION info;
        info.ThreadId = GetCurrentThreadId();
        info.ExceptionPointers = exceptionPointers;
        info.ClientPointers = TRUE;
        MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                          &info, nullptr, nullptr);
        CloseHandle(file);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

void CrashHandler::install()
{
    SetUnhandledExceptionFilter(unhandledExceptionFilter);
}

#else

namespace {

// Everything the handler needs is prepared at install time: inside a signal
// handler only async-signal-safe calls may run, so no allocation, no Qt, no stdio.
constexpr int kPathMax = 4096;
char g_folders[3][kPathMax];  // <local data>, <local data>/Tamo, <local data>/Tamo/Crashes
char g_user[256];
char g_altStack[64 * 1024];   // a stack overflow must still reach the handler

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

struct Writer {
    char *buffer;
    int capacity;
    int length = 0;

    void text(const char *s)
    {
        while (*s && length < capacity - 1)
            buffer[length++] = *s++;
        buffer[length] = '\0';
    }
    void number(long value, int width)
    {
        char digits[24];
        int n = 0;
        const bool negative = value < 0;
        unsigned long v = negative ? static_cast<unsigned long>(-value) : static_cast<unsigned long>(value);
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v && n < 23);
        while (n < width && n < 23)
            digits[n++] = '0';
        if (negative)
            text("-");
        while (n > 0 && length < capacity - 1)
            buffer[length++] = digits[--n];
        buffer[length] = '\0';
    }
};

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void writeText(int fd, const char *s)
{
    writeAll(fd, s, std::strlen(s));
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), without gmtime.
void civilFromDays(long z, long &y, int &m, int &d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    if (m <= 2)
        ++y;
}

void crashSignalHandler(int sig)
{
    const time_t now = ::time(nullptr);
    const long secs = static_cast<long>(now);
    long days = secs / 86400;
    long rest = secs % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    long year;
    int month, day;
    civilFromDays(days, year, month, day);

    for (const char *folder : g_folders)
        if (folder[0])
            ::mkdir(folder, 0700);

    char path[kPathMax + 128];
    Writer w{path, static_cast<int>(sizeof path)};
    w.text(g_folders[2]);
    w.text("/Tamo_");
    w.number(year, 2);
    w.text("-");
    w.number(month, 2);
    w.text("-");
    w.number(day, 2);
    w.text("-");
    w.number(rest / 3600, 2);
    w.number(rest / 60 % 60, 2);
    w.number(rest % 60, 2);
    w.text("_");
    w.text(g_user);
    w.text(".txt");

    if (g_folders[2][0]) {
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            char head[256];
            Writer h{head, static_cast<int>(sizeof head)};
            h.text("Tamo crashed with signal ");
            h.number(sig, 1);
            h.text(" (");
            h.text(signalName(sig));
            h.text(")\nProcess id: ");
            h.number(static_cast<long>(::getpid()), 1);
            h.text("\nBacktrace:\n");
            writeText(fd, head);
            void *frames[128];
            const int count = ::backtrace(frames, 128);
            ::backtrace_symbols_fd(frames, count, fd);
            ::close(fd);
        }
    }

    // Die of the same signal: default action, re-raised. It is blocked while this
    // handler runs and is delivered as soon as the handler returns.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void copyInto(char *target, const QByteArray &source)
{
    const int n = qMin(source.size(), kPathMax - 1);
    std::memcpy(target, source.constData(), static_cast<size_t>(n));
    target[n] = '\0';
}

QByteArray userName()
{
    char buffer[4096];
    struct passwd pwd;
    struct passwd *result = nullptr;
    QByteArray name;
    if (::getpwuid_r(::geteuid(), &pwd, buffer, sizeof buffer, &result) == 0 && result)
        name = result->pw_name;
    if (name.isEmpty())
        name = qgetenv("USER");
    if (name.isEmpty())
        name = "unknown";
    name.replace('/', '_'); // a user name never chooses a folder
    return name.left(static_cast<int>(sizeof g_user) - 1);
}

} // namespace

void CrashHandler::install()
{
    const QString crashes = AppPaths::crashFolder();
    if (!crashes.isEmpty()) {
        const QString tamo = crashes.section(QLatin1Char('/'), 0, -2);
        const QString base = tamo.section(QLatin1Char('/'), 0, -2);
        copyInto(g_folders[0], QFile::encodeName(base));
        copyInto(g_folders[1], QFile::encodeName(tamo));
        copyInto(g_folders[2], QFile::encodeName(crashes));
    }
    const QByteArray user = userName();
    std::memcpy(g_user, user.constData(), static_cast<size_t>(user.size()));
    g_user[user.size()] = '\0';

    // The first backtrace() call loads the unwinder; do it now, not in the handler.
    void *frame[1];
    ::backtrace(frame, 1);

    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_handler = crashSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
}

#endif
