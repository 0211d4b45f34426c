#include "LogCategories.h"

Q_LOGGING_CATEGORY(lcDeviceManager, "DeviceManager")
Q_LOGGING_CATEGORY(lcContentManager, "ContentManager")
Q_LOGGING_CATEGORY(lcContentsChef, "ContentsChef")
