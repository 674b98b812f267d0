#pragma once

#include <QString>
#include <QStringList>

// Sequence expansion: the first "$" of a pattern stands for each number from start to end.
namespace MakeSequence {

// The ranges of the Home window's number fields.
constexpr int NumberMax = 10000;
constexpr int LengthMax = 5;
constexpr int StepMin = 1;
constexpr int StepMax = 100;
// The most URLs one Make offers: every number the fields allow.
constexpr int MakeMax = NumberMax + 1;

bool HasMark(const QString &pattern);

// A "MAKE=" line of a list file: pattern, start, end, length and step, as numbers held to the
// ranges of the fields.
struct TRecord {
    QString pattern;
    int start = 0;
    int end = 0;
    int length = 0;
    int step = StepMin;
};
// False when a field is empty (the line makes nothing) or a number is not a number (*bad is set).
bool ReadRecord(const QString &pattern, const QString &start, const QString &end, const QString &length,
                const QString &step, TRecord *record, bool *bad);

// How many URLs a "MAKE=" line offers, its numbers held to the ranges of the fields as ReadRecord
// holds them: 0 when a field is empty, -1 when a number is not a number.
int Offered(const QString &pattern, const QString &start, const QString &end, const QString &length,
            const QString &step);

// How many URLs the expansion offers: none without a mark or when end < start.
int Count(const QString &pattern, int start, int end);
// The URLs of the expansion in ascending order; none when end < start. Start and end are read as
// signed 16-bit values; length 1..5 pads with zeros or keeps the last digits, 0 leaves the number.
QStringList Expand(const QString &pattern, int start, int end, int length);

} // namespace MakeSequence
