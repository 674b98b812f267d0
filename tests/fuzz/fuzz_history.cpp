// The download history reader on any bytes: every line read as a record is written back as the same
// record, and a record appended after any content (a line cut short by a crash among it) reads back
// without hiding or reviving any other line.
#include "core/THistory.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : bytes.split('\n'))
        if (const std::optional<THistory::TRecord> record = THistory::ParseLine(line))
            FuzzSupport::Check(THistory::ParseLine(THistory::LineOf(*record)) == record,
                               "a record reads back as itself");

    const QString file = FuzzSupport::WriteScratch(bytes.constData(), size);
    THistory history;
    const TJobListFile::TLoadReport report = history.Load(file);
    FuzzSupport::Check(report.error.isEmpty(), "a readable file loads");
    FuzzSupport::Check(report.firstSkipped.size() == std::min(report.skippedLines, TJobListFile::ReportedLines),
                       "skipped lines numbered");

    const THistory::TRecord added{QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC), 1, QByteArray(64, 'f'),
                                  QStringLiteral("http://fuzz.example/added"), QStringLiteral("/tmp/added")};
    QString error;
    FuzzSupport::Check(history.Append(added, &error), "append");
    THistory again;
    const TJobListFile::TLoadReport second = again.Load(file);
    FuzzSupport::Check(second.rows == report.rows + 1, "an append adds its record and no other");
    FuzzSupport::Check(second.skippedLines == report.skippedLines, "an append neither hides nor mends a line");
    FuzzSupport::Check(again.Contains(added.url), "the appended record reads back");
    return 0;
}
