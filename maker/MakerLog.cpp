#include "maker/MakerLog.h"

// Not even warnings by default: batch mode's stderr carries only the program's own words.
Q_LOGGING_CATEGORY(lcMaker, "pelmor.maker", QtCriticalMsg)
