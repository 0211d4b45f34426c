#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the log lines of one category (every category for null; "default" is
// the category of plain qDebug/qWarning) while it lives, from any thread, and
// passes every message on to the handler that was installed before.
class LogRecorder
{
public:
    explicit LogRecorder(const char *category = nullptr)
        : m_category(category)
    {
        instance() = this;
        m_previous = qInstallMessageHandler(&LogRecorder::handle);
    }
    ~LogRecorder()
    {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }

    // "info: text" / "warning: text"
    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

    // How many recorded lines contain the text.
    int count(const QString &text) const
    {
        QMutexLocker lock(&m_mutex);
        int n = 0;
        for (const QString &line : m_lines)
            if (line.contains(text))
                ++n;
        return n;
    }

private:
    static LogRecorder *&instance()
    {
        static LogRecorder *current = nullptr;
        return current;
    }

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        LogRecorder *self = instance();
        if (!self)
            return;
        if (!self->m_category || (context.category && qstrcmp(context.category, self->m_category) == 0)) {
            const char *level = type == QtInfoMsg ? "info" : type == QtWarningMsg ? "warning"
                                                           : type == QtDebugMsg   ? "debug"
                                                                                  : "other";
            QMutexLocker lock(&self->m_mutex);
            self->m_lines << QString::fromLatin1(level) + QStringLiteral(": ") + text;
        }
        if (self->m_previous)
            self->m_previous(type, context, text);
    }

    const char *m_category;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
};
