#pragma once

#include <QLoggingCategory>

// Diagnostics of the URL maker, "pelmor.maker": silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcMaker)
