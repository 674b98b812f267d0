#pragma once

#include <QLoggingCategory>

// Diagnostics of the job list and its scheduler, "pelmor.list": silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcList)
