#include "core/TRateCap.h"

#include <QRegularExpression>

namespace {
constexpr qint64 Kilo = 1024;
constexpr qint64 Mega = 1024 * 1024;
} // namespace

std::optional<TRateCap> TRateCap::Parse(const QString &text)
{
    // ASCII digits only, as for the host gap: a full-width number is no number here.
    static const QRegularExpression form(QStringLiteral(R"(^([0-9]{1,13})\s*([kKmM]?)$)"));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return TRateCap{};
    const QRegularExpressionMatch match = form.match(trimmed);
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2).toUpper();
    const qint64 scale = unit == QLatin1String("M") ? Mega : unit == QLatin1String("K") ? Kilo : 1;
    const qint64 number = match.captured(1).toLongLong();
    if (number > Max / scale)
        return std::nullopt;
    return TRateCap{number * scale};
}

QString TRateCap::Text() const
{
    if (BytesPerSecond != 0 && BytesPerSecond % Mega == 0)
        return QString::number(BytesPerSecond / Mega) + QLatin1Char('M');
    if (BytesPerSecond != 0 && BytesPerSecond % Kilo == 0)
        return QString::number(BytesPerSecond / Kilo) + QLatin1Char('K');
    return QString::number(BytesPerSecond);
}
