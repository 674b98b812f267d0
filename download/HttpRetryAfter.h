#pragma once

#include <QDateTime>
#include <QStringView>

// A server that is busy may say when to come back; nothing it says keeps a job away longer than this.
constexpr qint64 MaxRetryAfterSeconds = 3600;

// The wait a "Retry-After" value asks for, in seconds, at most MaxRetryAfterSeconds: a number of
// seconds or an HTTP date (seen from now). 0 for a value that is neither, or a date already past.
qint64 RetryAfterSeconds(QStringView value, const QDateTime &now);
