// The list loader on any bytes: "MAKE=" records are read as the URL maker reads them, and every
// row loaded must survive a save and a second load unchanged.
#include "core/TJobListFile.h"
#include "core/TJobListModel.h"
#include "maker/MakeSequence.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>

namespace {

// A row as it is saved: a caption that reads as a worker's digit is written as "※".
QStringList Row(const TJobListModel &jobs, int row)
{
    QStringList cells{jobs.IsRunningRow(row) ? QStringLiteral("※") : jobs.Caption(row)};
    for (int sub = 0; sub < SubItemCount; ++sub)
        cells.append(jobs.Cell(row, sub));
    return cells;
}

// Rows a list line brings back; a "URL=" line's URL may be of any scheme, a saved row only
// comes back as one of these.
bool ReadBack(const TJobListModel &jobs, int row)
{
    const QString url = jobs.Cell(row, SubURL);
    return url.startsWith(QStringLiteral("HTTP://"), Qt::CaseInsensitive) || url.startsWith(QStringLiteral("file://"));
}

QList<QStringList> ReadBackRows(const TJobListModel &jobs)
{
    QList<QStringList> rows;
    for (int row = 0; row < jobs.RowCount(); ++row)
        if (ReadBack(jobs, row))
            rows.append(Row(jobs, row));
    return rows;
}

// A row whose caption begins "URL=" is saved as a line that is also a "URL=" line, so it comes back
// with a second row: lists say so, and the program never writes such a caption itself.
bool TwoRowLine(const TJobListModel &jobs)
{
    for (int row = 0; row < jobs.RowCount(); ++row)
        if (jobs.Caption(row).startsWith(QStringLiteral("URL="), Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto maker = [](const QString &url, const QString &start, const QString &end, const QString &length,
                          const QString &step) {
        MakeSequence::TRecord record;
        bool bad = false;
        MakeSequence::ReadRecord(url, start, end, length, step, &record, &bad);
        return !bad;
    };
    TJobListModel jobs;
    const TJobListFile::TLoadReport report = TJobListFile::LoadList(
        jobs, FuzzSupport::WriteScratch(reinterpret_cast<const char *>(data), size), {MakeSequence::Offered, maker});
    // A list whose "MAKE=" lines offer too many URLs is refused whole.
    FuzzSupport::Check((report.error.isEmpty() || jobs.RowCount() == 0) && report.rows == jobs.RowCount(),
                       "load reports its rows");
    FuzzSupport::Check(report.firstSkipped.size() == std::min(report.skippedLines, TJobListFile::ReportedLines),
                       "skipped lines numbered");

    QString error;
    const QString saved = FuzzSupport::WriteScratch("", 0);
    FuzzSupport::Check(TJobListFile::SaveList(jobs, saved, &error), "save");
    TJobListModel again;
    const TJobListFile::TLoadReport second = TJobListFile::LoadList(again, saved, {});
    FuzzSupport::Check(second.skippedLines == 0, "a saved list loads without damage");
    if (TwoRowLine(jobs))
        return 0;
    const QList<QStringList> loaded = ReadBackRows(jobs);
    const QList<QStringList> back = ReadBackRows(again);
    for (qsizetype i = 0; i < std::max(loaded.size(), back.size()); ++i)
        if (loaded.value(i) != back.value(i))
            std::fprintf(stderr, "row %d loaded: %s\n        back:   %s\n", int(i),
                         qPrintable(loaded.value(i).join(u'|')), qPrintable(back.value(i).join(u'|')));
    FuzzSupport::Check(back == loaded, "every saved row loads back unchanged");
    return 0;
}
