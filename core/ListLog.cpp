#include "core/ListLog.h"

// Not even warnings by default: batch mode's stderr carries only the program's own words.
Q_LOGGING_CATEGORY(lcList, "pelmor.list", QtCriticalMsg)
