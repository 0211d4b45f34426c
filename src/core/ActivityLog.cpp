#include "ActivityLog.h"

#include <QDebug>

namespace {

thread_local bool t_loggingLine = false;

// Set for the duration of one message: the handler runs inside the call.
class LineScope
{
public:
    LineScope() { t_loggingLine = true; }
    ~LineScope() { t_loggingLine = false; }
    LineScope(const LineScope &) = delete;
    LineScope &operator=(const LineScope &) = delete;
};

} // namespace

namespace ActivityLog {

void info(Category category, const ActivityLine &line)
{
    LineScope scope;
    qCInfo(category).noquote() << line.text();
}

void warning(Category category, const ActivityLine &line)
{
    LineScope scope;
    qCWarning(category).noquote() << line.text();
}

bool isLoggingLine()
{
    return t_loggingLine;
}

} // namespace ActivityLog
