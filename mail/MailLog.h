#pragma once

#include <QLoggingCategory>

// Diagnostics of the feedback mail, "pelmor.mail": silent unless QT_LOGGING_RULES turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcMail)
