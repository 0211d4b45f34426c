#include "Logger.h"

#include "ActivityLog.h"
#include "AppPaths.h"
#include "LogMessageHandler.h"
#include "LogTail.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMessageLogContext>
#include <QMutexLocker>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

const QString Logger::DroppedLinesText =
    QStringLiteral("%1 log line(s) dropped: the log file could not be written");

namespace {

// Appends to (or, with `empty`, empties) the log file, which is created readable
// and writable by its owner only. Returns the bytes written, -1 when the file
// cannot be opened. Unbuffered: a full disk shows in the result, not later.
qint64 writeToFile(const QString &path, const QByteArray &bytes, bool empty)
{
#ifdef Q_OS_UNIX
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (empty ? O_TRUNC : O_APPEND);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0)
        return -1;
    struct stat facts{};
    // Only a file of its own is made private: never a terminal or /dev/null
    // given to tamo-cli --log.
    if (empty && ::fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) && (facts.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    ::close(fd);
    return written;
#else
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | (empty ? QIODevice::Truncate : QIODevice::Append)))
        return -1;
    const qint64 written = bytes.isEmpty() ? 0 : file.write(bytes);
    return qMax<qint64>(written, 0);
#endif
}

struct PathChoice {
    bool chosen = false;
    QString path;
};

PathChoice &pathChoice()
{
    static PathChoice choice;
    return choice;
}

} // namespace

Logger *Logger::instance()
{
    // Thread-safe one-time creation. Intentionally never deleted (see the class
    // comment); the exit guard, created right after it and so destroyed with the
    // static objects of the process, writes the tail.
    static Logger *const logger = [] {
        // The window's own log keeps the previous run's; a chosen file is the chooser's.
        auto *created = pathChoice().chosen ? new Logger(pathChoice().path, false)
                                            : new Logger(AppPaths::logFilePath(), true);
        static const struct ExitGuard {
            Logger *logger;
            ~ExitGuard() { logger->closeForExit(); }
        } guard{created};
        return created;
    }();
    return logger;
}

void Logger::setFilePath(const QString &path)
{
    pathChoice().chosen = true;
    pathChoice().path = path;
}

const QStringList &Logger::readableCategories()
{
    // Never destroyed, like the logger, which reads it while the process exits.
    static const QStringList *const names = new QStringList{
        QStringLiteral("DeviceManager"), QStringLiteral("ContentManager"), QStringLiteral("ContentsChef")};
    return *names;
}

Logger::Logger(const QString &path, bool keepPrevious)
    : m_path(path)
{
    // The file holds the current run only: empty it, with or without "-l".
    if (m_path.isEmpty())
        return;
    // Whoever starts again after a problem still has the run that had it.
    if (keepPrevious && QFileInfo(m_path).isFile()) {
        const QString previous = previousFilePath(m_path);
        QFile::remove(previous);
        // A log left by an earlier version may be open to every user.
        if (QFile::rename(m_path, previous))
            QFile::setPermissions(previous, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    writeToFile(m_path, QByteArray(), true);
}

void Logger::closeForExit()
{
    QMutexLocker lock(&m_mutex);
    if (m_fileLogging.load())
        flushLocked();
    m_unbuffered = true;
}

QString Logger::filePath() const
{
    return m_path;
}

QString Logger::previousFilePath(const QString &path)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix();
    return file.path() + QLatin1Char('/') + file.completeBaseName() + QStringLiteral(".previous")
        + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

bool Logger::isFileLoggingEnabled() const
{
    return m_fileLogging.load();
}

void Logger::setFileLoggingEnabled(bool on)
{
    if (m_fileLogging.exchange(on) == on)
        return;
    if (!on)
        flush();
}

void Logger::writeMessage(const QMessageLogContext &context, const QString &line, bool fatal)
{
    const QByteArray utf8 = line.toUtf8();
    {
        QMutexLocker lock(&m_mutex);
        // Kept with or without "-l": a crash report carries the last lines.
        LogTail::append(utf8.constData(), utf8.size());
        if (m_fileLogging.load()) {
            m_buffer.append(utf8);
            m_buffer.append('\n');
            m_sinceAttempt += utf8.size() + 1;
            if (m_sinceAttempt > kFlushThreshold || fatal || m_unbuffered)
                flushLocked();
        }
    }

    // Outside the mutex: a receiver on this thread may log in turn. The window
    // shows these lines as rich text: one that did not come as an ActivityLine
    // is plain text, whatever it holds.
    if (context.category && readableCategories().contains(QLatin1String(context.category)))
        emit readableMessageAdded(ActivityLog::isLoggingLine() ? line : line.toHtmlEscaped());
}

void Logger::flush()
{
    QMutexLocker lock(&m_mutex);
    flushLocked();
}

void Logger::flushLocked()
{
    m_sinceAttempt = 0;
    if (m_path.isEmpty()) {
        m_buffer.clear(); // nowhere to write: never let it grow
        return;
    }
    if (m_buffer.isEmpty() && m_dropped == 0)
        return;
    // Binary append: lines end in a single line feed on every platform.
    const qint64 written = writeDroppedNote() ? writeToFile(m_path, m_buffer, false) : -1;
    if (written > 0)
        m_buffer.remove(0, static_cast<int>(written)); // a short write keeps only the rest
    dropOldest(); // what is left waits for the next attempt, within the bound
}

bool Logger::writeDroppedNote()
{
    if (m_dropped == 0)
        return true;
    // In the place of the lines it stands for: before the oldest line kept.
    const QByteArray note =
        formatLogLine(QtWarningMsg, QDateTime::currentDateTime(), DroppedLinesText.arg(m_dropped)).toUtf8() + '\n';
    if (writeToFile(m_path, note, false) != note.size())
        return false;
    m_dropped = 0;
    return true;
}

void Logger::dropOldest()
{
    if (m_buffer.size() <= kBufferLimit)
        return;
    // Whole lines only: up to the line feed that ends the last line to go.
    const int end = m_buffer.indexOf('\n', m_buffer.size() - kBufferLimit - 1);
    const int cut = end < 0 ? m_buffer.size() : end + 1;
    m_dropped += m_buffer.left(cut).count('\n') + (end < 0 ? 1 : 0);
    m_buffer.remove(0, cut);
}
