#pragma once

#include <QLoggingCategory>

// Diagnostics of the job list, its scheduler and the shared-memory hand-over, "pelmor.list": silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcList)
