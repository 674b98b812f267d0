#pragma once

#include <QList>
#include <QString>

#include <functional>

class TJobListModel;

// The job list on disk: the program's own ".WST" lists (every cell of every row), URL exports
// (".TXT") and imports of "URL=" lines from other download managers' lists. Text is CP932 with
// CR LF line ends, so lists are exchanged with the Windows program unchanged.
namespace TJobListFile {

struct TLoadReport {
    int rows = 0;            // rows appended, those made from "MAKE=" lines included
    int skippedLines = 0;    // damaged lines: see LoadList
    QList<int> firstSkipped; // line numbers (from 1) of the first few of them
    QString error;           // the file could not be opened or read (rows read before stay), or
                             // its "MAKE=" lines offer too many URLs (nothing appended)
};

// The longest line a list may hold; longer ones are read past, never kept whole in memory.
constexpr int MaxLineBytes = 64 * 1024;
// How many line numbers of skipped lines a report keeps.
constexpr int ReportedLines = 5;

// "3, 7, 12", with ", …" when more lines were skipped than reported.
QString SkippedLineNumbers(const TLoadReport &report);

// A "MAKE=" line: pattern, start, end, length and step texts; returns false when a number is
// not a number.
using TMakeRecord =
    std::function<bool(const QString &, const QString &, const QString &, const QString &, const QString &)>;
// How many URLs a "MAKE=" line offers, from the same texts; -1 when a number is not a number.
using TMakeCount =
    std::function<int(const QString &, const QString &, const QString &, const QString &, const QString &)>;

// Where a list's "MAKE=" lines go: offered is asked about every one of them before anything of the
// list is loaded, make then makes them in turn.
struct TMakeLines {
    TMakeCount offered;
    TMakeRecord make;
};

// The most URLs the "MAKE=" lines of one list may offer together: some ten of the widest Make the
// Home window runs, and some 70 MB of rows. A few lines must not turn into a million rows; a list
// that would offer more is refused whole.
constexpr int MaxMadeUrls = 100000;

// Appends the rows the file describes; never clears the list and never refuses a duplicate.
// Without makeLines.make, "MAKE=" lines are ignored; when their URLs would pass MaxMadeUrls, the
// list is refused with error set and nothing is appended. A damaged line becomes nothing and is counted:
// one longer than MaxLineBytes, with bytes CP932 lacks, with a control character other than the
// tab (NUL included), of more than 20 fields, a "URL=" line whose URL cannot be fetched, a row
// (a line of 14 fields, or one whose second field is a web URL) whose URL the list cannot take, a
// "MAKE=" line with a bad number, a local "file://" row or "URL=" line that would be fetched (its path
// may lead out of the program folder): UrlUtil::FetchProblem and JobUrlProblem, the adders' own rule,
// decide. Lines of no known kind are ignored without a word: lists of other programs hold many.
TLoadReport LoadList(TJobListModel &jobs, const QString &fileName, const TMakeLines &makeLines);

// Both write a temporary file beside the target and rename it over the target, so a failed
// save leaves the old file whole; on failure they return false and say why.
bool SaveList(const TJobListModel &jobs, const QString &fileName, QString *error);
// The URL of every whole-file row, one a line.
bool SaveUrlText(const TJobListModel &jobs, const QString &fileName, QString *error);

} // namespace TJobListFile
