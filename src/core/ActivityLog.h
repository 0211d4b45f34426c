#pragma once

#include "ActivityLine.h"

#include <QLoggingCategory>

// The one way into the operator's activity log: lines of an activity category
// (LogCategories) logged here reach the window as the rich text they are. A
// line logged in such a category any other way (a plain qCWarning) reaches the
// window as plain text, escaped by the logger, whatever it holds.
namespace ActivityLog {

// A category as Q_DECLARE_LOGGING_CATEGORY declares it (lcDeviceManager).
using Category = const QLoggingCategory &(*)();

void info(Category category, const ActivityLine &line);
void warning(Category category, const ActivityLine &line);

// True while the calling thread logs a line through this namespace; the logger
// asks it from inside the message handler, which runs on the same thread.
bool isLoggingLine();

} // namespace ActivityLog
