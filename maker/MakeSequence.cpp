#include "maker/MakeSequence.h"

#include "core/TJobListFile.h"

#include <algorithm>
#include <cstdlib>

// A list is never refused for one line the Home window could have made.
static_assert(MakeSequence::MakeMax <= TJobListFile::MaxMadeUrls);

namespace {
const QChar Mark = QLatin1Char('$');
const QString Zeros = QStringLiteral("00000");
} // namespace

bool MakeSequence::ReadRecord(const QString &pattern, const QString &start, const QString &end, const QString &length,
                              const QString &step, TRecord *record, bool *bad)
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

int MakeSequence::Offered(const QString &pattern, const QString &start, const QString &end, const QString &length,
                          const QString &step)
{
    TRecord record;
    bool bad = false;
    if (!ReadRecord(pattern, start, end, length, step, &record, &bad))
        return bad ? -1 : 0;
    return Count(record.pattern, record.start, record.end);
}

bool MakeSequence::HasMark(const QString &pattern)
{
    return pattern.contains(Mark);
}

int MakeSequence::Count(const QString &pattern, int start, int end)
{
    const qint16 first = static_cast<qint16>(start);
    const qint16 last = static_cast<qint16>(end);
    return HasMark(pattern) && first <= last ? last - first + 1 : 0;
}

QStringList MakeSequence::Expand(const QString &pattern, int start, int end, int length)
{
    const int count = Count(pattern, start, end);
    if (count == 0)
        return {};
    const qsizetype mark = pattern.indexOf(Mark);
    const QString prefix = pattern.left(mark);
    const QString suffix = pattern.mid(mark + 1);
    const int first = static_cast<qint16>(start);
    QStringList urls;
    urls.reserve(count);
    for (int n = first; n < first + count; ++n) {
        QString digits = QString::number(std::abs(n));
        if (length > 0)
            digits = (Zeros + digits).right(length);
        urls.append(prefix + digits + suffix);
    }
    return urls;
}
