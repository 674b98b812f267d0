#include "MakeSequence.h"

#include "TJobListModel.h"

#include <algorithm>
#include <cstdlib>

namespace {
const QChar Mark = QLatin1Char('$');
const QString Zeros = QStringLiteral("00000");
} // namespace

bool MakeSequence::ReadRecord(const QString &pattern, const QString &start, const QString &end,
                              const QString &length, const QString &step, TRecord *record, bool *bad)
{
    *bad = false;
    if (pattern.isEmpty() || start.isEmpty() || end.isEmpty() || length.isEmpty() || step.isEmpty())
        return false;
    struct TField {
        const QString &text;
        int low;
        int high;
        int *value;
    };
    record->pattern = pattern;
    const TField fields[] = {{start, 0, NumberMax, &record->start},
                             {end, 0, NumberMax, &record->end},
                             {length, 0, LengthMax, &record->length},
                             {step, StepMin, StepMax, &record->step}};
    for (const TField &field : fields) {
        bool ok = false;
        *field.value = std::clamp(field.text.trimmed().toInt(&ok, 10), field.low, field.high);
        if (!ok) {
            *bad = true;
            return false;
        }
    }
    return true;
}

bool MakeSequence::HasMark(const QString &pattern)
{
    return pattern.contains(Mark);
}

QStringList MakeSequence::Expand(const QString &pattern, int start, int end, int length)
{
    const qsizetype mark = pattern.indexOf(Mark);
    if (mark < 0)
        return {};
    const QString prefix = pattern.left(mark);
    const QString suffix = pattern.mid(mark + 1);
    const qint16 first = static_cast<qint16>(start);
    const qint16 last = static_cast<qint16>(end);
    QStringList urls;
    if (last < first)
        return urls;
    urls.reserve(last - first + 1);
    for (int n = first; n <= last; ++n) {
        QString digits = QString::number(std::abs(n));
        if (length > 0)
            digits = (Zeros + digits).right(length);
        urls.append(prefix + digits + suffix);
    }
    return urls;
}

int MakeSequence::AddTo(TJobListModel &jobs, const QString &pattern, int start, int end, int length)
{
    int added = 0;
    for (const QString &url : Expand(pattern, start, end, length))
        if (jobs.AddJob(url, 0, 0, QString()) >= 0)
            ++added;
    return added;
}
