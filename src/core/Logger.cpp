#include "Logger.h"

#include "ActivityLog.h"
#include "AppPaths.h"
#include "LogTail.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageLogContext>
#include <QMutexLocker>

namespace {

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
        QFile::rename(m_path, previous);
    }
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("");
        file.close();
    }
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
            if (m_buffer.size() > kFlushThreshold || fatal || m_unbuffered)
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
    if (m_path.isEmpty()) {
        m_buffer.clear(); // nowhere to write: never let it grow
        return;
    }
    if (m_buffer.isEmpty())
        return;
    QFile file(m_path);
    // Binary append: lines end in a single line feed on every platform.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // kept for the next attempt
    const qint64 written = file.write(m_buffer);
    if (written > 0)
        m_buffer.remove(0, static_cast<int>(written)); // a short write keeps only the rest
    file.close();
}
