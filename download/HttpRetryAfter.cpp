#include "download/HttpRetryAfter.h"

#include "download/HttpNumber.h"

#include <algorithm>

qint64 RetryAfterSeconds(QStringView value, const QDateTime &now)
{
    const QStringView text = value.trimmed();
    if (!text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 0x80; }))
        // Digits too many for a number are a very long wait, not garbage.
        return std::min(ParseHttpNumber(text).value_or(MaxRetryAfterSeconds), MaxRetryAfterSeconds);
    // Senders write dates as "Sun, 06 Nov 1994 08:49:37 GMT"; the date reader takes the zone as an offset.
    if (!text.endsWith(QLatin1String(" GMT")))
        return 0;
    const QDateTime when = QDateTime::fromString(text.chopped(4).toString() + QLatin1String(" +0000"), Qt::RFC2822Date);
    if (!when.isValid())
        return 0;
    return std::clamp<qint64>(now.secsTo(when), 0, MaxRetryAfterSeconds);
}
