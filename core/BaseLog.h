#pragma once

#include <QLoggingCategory>

// Diagnostics of the services below the job core (broadcast, shared block, hand-over), "pelmor.base":
// silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcBase)
