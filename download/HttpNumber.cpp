#include "download/HttpNumber.h"

#include <limits>

std::optional<qint64> ParseHttpNumber(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}
