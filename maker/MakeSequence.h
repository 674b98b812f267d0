#pragma once

#include <QString>
#include <QStringList>

class TJobListModel;

// Sequence expansion: the first "$" of a pattern stands for each number from start to end.
namespace MakeSequence {

bool HasMark(const QString &pattern);

// The URLs of the expansion in ascending order; none when end < start. Start and end are read as
// signed 16-bit values; length 1..5 pads with zeros or keeps the last digits, 0 leaves the number.
QStringList Expand(const QString &pattern, int start, int end, int length);

// Offers every URL of the expansion to the job list; returns how many rows were added.
int AddTo(TJobListModel &jobs, const QString &pattern, int start, int end, int length);

} // namespace MakeSequence
