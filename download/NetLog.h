#pragma once

#include <QLoggingCategory>

// Diagnostics of the download engine, "pelmor.net": silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcNet)
