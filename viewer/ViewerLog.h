#pragma once

#include <QLoggingCategory>

// Diagnostics of the viewer and its decoder plug-ins, "pelmor.viewer": silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcViewer)
