#include "core/TUrlEntry.h"

#include "core/TJobListModel.h"
#include "download/UrlUtil.h"

#include <QRegularExpression>

namespace {

// Refusals listed one by one in a message; the rest are counted.
constexpr qsizetype ListedRefusals = 10;
constexpr qsizetype ShownUrlLength = 60;

} // namespace

QStringList TUrlEntry::Lines(const QString &text)
{
    QStringList lines;
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]"));
    for (const QString &line : text.split(lineEnd, Qt::SkipEmptyParts))
        if (const QString url = line.trimmed(); !url.isEmpty())
            lines.append(url);
    return lines;
}

QString TUrlEntry::Refusal(const QString &url)
{
    const QString problem = UrlUtil::JobUrlProblem(url);
    return problem.isEmpty() ? QString() : Quoted(url, problem);
}

QString TUrlEntry::Quoted(const QString &url, const QString &problem)
{
    const QString shown = url.size() <= ShownUrlLength ? url : url.left(ShownUrlLength) + QStringLiteral("…");
    return QStringLiteral("「%1」: %2").arg(shown, problem);
}

TUrlEntry::TAddReport TUrlEntry::AddUrls(TJobListModel &jobs, const QStringList &urls)
{
    TAddReport report;
    for (const QString &url : urls) {
        if (const QString refusal = Refusal(url); !refusal.isEmpty())
            report.refused.append(refusal);
        else if (jobs.AddJob(url, 0, 0, QString()) >= 0)
            ++report.added;
    }
    return report;
}

QString TUrlEntry::RefusalText(const QStringList &refused, int added)
{
    if (refused.isEmpty())
        return {};
    QStringList lines;
    lines.append(added > 0 ? QStringLiteral("%1 件を追加しました。次の URL は追加できません。").arg(added)
                           : QStringLiteral("次の URL は追加できません。"));
    lines += refused.mid(0, ListedRefusals);
    if (refused.size() > ListedRefusals)
        lines.append(QStringLiteral("ほか %1 件").arg(refused.size() - ListedRefusals));
    return lines.join(QLatin1Char('\n'));
}
