#pragma once

#include <QLoggingCategory>

// The categories whose messages make up the operator's activity log. Activity
// lines go through them; debug traces use the default category and reach only the
// log file and standard error.
Q_DECLARE_LOGGING_CATEGORY(lcDeviceManager)  // "DeviceManager"
Q_DECLARE_LOGGING_CATEGORY(lcContentManager) // "ContentManager"
Q_DECLARE_LOGGING_CATEGORY(lcContentsChef)   // "ContentsChef"
