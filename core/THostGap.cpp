#include "core/THostGap.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

std::optional<THostGap> THostGap::Parse(const QString &text)
{
    // ASCII digits only: toInt would read a full-width "５００" as nothing at all.
    static const QRegularExpression form(QStringLiteral(R"(^([0-9]{1,9})\s*(?:(?:±|\+-)\s*([0-9]{1,9})\s*%)?$)"));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return THostGap{};
    const QRegularExpressionMatch match = form.match(trimmed);
    if (!match.hasMatch())
        return std::nullopt;
    THostGap gap{match.captured(1).toInt(), match.captured(2).isEmpty() ? 0 : match.captured(2).toInt()};
    if (gap.Ms > MaxMs || gap.SpreadPercent > MaxSpreadPercent)
        return std::nullopt;
    return gap;
}

QString THostGap::Text() const
{
    const QString ms = QString::number(Ms);
    return SpreadPercent == 0 ? ms : ms + QStringLiteral("±%1%").arg(SpreadPercent);
}

qint64 THostGap::Draw(double unit) const
{
    const double spread = double(Ms) * SpreadPercent / 100.0;
    const double gap = double(Ms) - spread + 2.0 * spread * std::clamp(unit, 0.0, 1.0);
    return std::max<qint64>(0, std::llround(gap));
}
