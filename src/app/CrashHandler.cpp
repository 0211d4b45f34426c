#include "CrashHandler.h"

#include "AppPaths.h"
#include "LogTail.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

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
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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
char g_about[2048];           // application, Qt and system lines, known before any crash
char g_altStack[64 * 1024];   // a stack overflow must still reach the handler
pid_t g_mainThread = 0;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

struct UtcTime {
    long year;
    int month, day, hour, minute, second;
};

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
    // yyyy-MM-dd, then hh, mm and ss, each pair of parts joined as given.
    void stamp(const UtcTime &t, const char *dateToTime, const char *timeParts)
    {
        number(t.year, 4);
        text("-");
        number(t.month, 2);
        text("-");
        number(t.day, 2);
        text(dateToTime);
        number(t.hour, 2);
        text(timeParts);
        number(t.minute, 2);
        text(timeParts);
        number(t.second, 2);
    }
    void hex(unsigned long value)
    {
        char digits[17];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value % 16];
            value /= 16;
        } while (value && n < 16);
        text("0x");
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

UtcTime utcNow()
{
    const long secs = static_cast<long>(::time(nullptr));
    long days = secs / 86400;
    long rest = secs % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    UtcTime t{};
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

// The signal, when and where it struck, and who sent it or what it touched.
void writeHead(int fd, int sig, const siginfo_t *info, const UtcTime &t)
{
    char head[1024];
    Writer h{head, static_cast<int>(sizeof head)};
    h.text("Tamo crashed with signal ");
    h.number(sig, 1);
    h.text(" (");
    h.text(signalName(sig));
    h.text(")\n");
    writeText(fd, head);
    writeText(fd, g_about);

    h.length = 0;
    h.text("Time (UTC): ");
    h.stamp(t, " ", ":");
    h.text("\nProcess id: ");
    h.number(static_cast<long>(::getpid()), 1);

    const long thread = ::syscall(SYS_gettid);
    char threadName[17] = {};
    ::prctl(PR_GET_NAME, threadName, 0, 0, 0);
    h.text("\nThread: ");
    h.number(thread, 1);
    h.text(" \"");
    h.text(threadName);
    h.text(thread == g_mainThread ? "\" (the main thread)" : "\" (not the main thread)");

    if (info && info->si_code <= 0) {
        h.text("\nSent by process ");
        h.number(static_cast<long>(info->si_pid), 1);
        if (info->si_pid == ::getpid())
            h.text(" (itself)");
    } else if (info && sig != SIGABRT) {
        h.text("\nFault address: ");
        h.hex(reinterpret_cast<unsigned long>(info->si_addr));
    }
    h.text("\n");
    writeText(fd, head);
}

void crashSignalHandler(int sig, siginfo_t *info, void *)
{
    const UtcTime t = utcNow();

    for (const char *folder : g_folders)
        if (folder[0])
            ::mkdir(folder, 0700);

    char path[kPathMax + 128];
    Writer w{path, static_cast<int>(sizeof path)};
    w.text(g_folders[2]);
    w.text("/Tamo_");
    w.stamp(t, "-", "");
    w.text("_");
    w.text(g_user);
    w.text(".txt");

    if (g_folders[2][0]) {
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            writeHead(fd, sig, info, t);
            writeText(fd, "Backtrace:\n");
            void *frames[128];
            const int count = ::backtrace(frames, 128);
            ::backtrace_symbols_fd(frames, count, fd);
            char tailHead[64];
            Writer l{tailHead, static_cast<int>(sizeof tailHead)};
            l.text("Last log lines (up to ");
            l.number(LogTail::kLines, 1);
            l.text("), oldest first:\n");
            writeText(fd, tailHead);
            LogTail::writeTo(fd);
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

// What the report says about the program and the system, fixed for the run.
QByteArray aboutText()
{
    const QString program = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
    return QStringLiteral("Application: %1 %2\nQt: %3 (built with %4)\nOperating system: %5, %6 %7 %8\n")
        .arg(program.isEmpty() ? QStringLiteral("Tamo") : program, QStringLiteral(TAMO_VERSION),
             QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR), QSysInfo::prettyProductName(),
             QSysInfo::kernelType(), QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture())
        .toUtf8()
        .left(static_cast<int>(sizeof g_about) - 1);
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
    const QByteArray about = aboutText();
    std::memcpy(g_about, about.constData(), static_cast<size_t>(about.size()));
    g_about[about.size()] = '\0';
    g_mainThread = static_cast<pid_t>(::syscall(SYS_gettid));

    // The first backtrace() call loads the unwinder; do it now, not in the handler.
    void *frame[1];
    ::backtrace(frame, 1);

    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_sigaction = crashSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
}

#endif
