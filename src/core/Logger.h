#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class QMessageLogContext;

// The process's one log writer. Lines collect in memory and reach logs.txt in
// large appends (the file readable by its owner only: it names the account and
// the devices); lines logged through one of the activity-log categories are also
// emitted for the page on screen. The last lines, with or without the file, are
// kept for a crash report (LogTail).
// The logger is never destroyed: threads that outlive main() (pool jobs, the
// firmware thread) and destructors of static objects may still log. At exit the
// buffer is written, and from then on every line goes to the file at once.
class Logger : public QObject
{
    Q_OBJECT

public:
    // Flush threshold: the buffer is written once it holds more than this.
    static constexpr int kFlushThreshold = 100000;
    // While the file cannot be written (a full disk) each failed attempt leaves at
    // most this much in the buffer (which so never holds more than this and the
    // flush threshold): the oldest lines go, and once the file takes lines again
    // one line says how many went.
    static constexpr int kBufferLimit = 10 * kFlushThreshold;
    static const QString DroppedLinesText; // "%1 log line(s) dropped: the log file could not be written"

    // Never null, also while the process exits.
    static Logger *instance();

    // The log file used by the logger that instance() creates. Must be called
    // before the first instance() call; an empty path means "no file at all",
    // which a refused second instance uses so that it never touches the running
    // instance's log. Defaults to AppPaths::logFilePath().
    static void setFilePath(const QString &path);

    // The category names whose messages make up the activity log (case-sensitive).
    static const QStringList &readableCategories();

    void setFileLoggingEnabled(bool on);
    bool isFileLoggingEnabled() const;
    void writeMessage(const QMessageLogContext &context, const QString &line, bool fatal);
    void flush();

    QString filePath() const;
    // Where the log of the previous run is kept: logs.txt -> logs.previous.txt.
    static QString previousFilePath(const QString &path);

signals:
    // A line of an activity category, as rich text (see ActivityLog).
    void readableMessageAdded(QString msg);

private:
    // With keepPrevious, a log already there becomes previousFilePath() first.
    Logger(const QString &path, bool keepPrevious);
    ~Logger() override = default;
    void flushLocked();
    // Writes the note on dropped lines; false while the file takes nothing.
    bool writeDroppedNote();
    void dropOldest();
    // The end of the process: the tail is written, later lines go out unbuffered.
    void closeForExit();

    const QString m_path;
    QByteArray m_buffer;
    int m_sinceAttempt = 0; // bytes added since the file was last tried; guarded by m_mutex
    qint64 m_dropped = 0;   // lines dropped and not yet reported; guarded by m_mutex
    std::atomic<bool> m_fileLogging{false};
    bool m_unbuffered = false; // guarded by m_mutex
    QMutex m_mutex;
};
