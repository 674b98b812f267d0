#pragma once

#include <QString>

#include <functional>

class TJobListModel;

// The job list on disk: the program's own ".WST" lists (every cell of every row), URL exports
// (".TXT") and imports of "URL=" lines from other download managers' lists. Text is CP932 with
// CR LF line ends, so lists are exchanged with the Windows program unchanged.
namespace TJobListFile {

struct TLoadReport {
    int rows = 0;           // rows appended, those made from "MAKE=" lines included
    int skippedLines = 0;   // lines of more than 20 fields, "MAKE=" lines with a bad number
    QString error;          // the file could not be opened or read; rows read before stay
};

// A "MAKE=" line: pattern, start, end, length and step texts; returns false when a number is
// not a number.
using TMakeRecord = std::function<bool(const QString &, const QString &, const QString &,
                                       const QString &, const QString &)>;

// Appends the rows the file describes; never clears the list and never refuses a duplicate.
// Without a makeRecord, "MAKE=" lines are ignored.
TLoadReport LoadList(TJobListModel &jobs, const QString &fileName, const TMakeRecord &makeRecord);

// Both write a temporary file beside the target and rename it over the target, so a failed
// save leaves the old file whole; on failure they return false and say why.
bool SaveList(const TJobListModel &jobs, const QString &fileName, QString *error);
// The URL of every whole-file row, one a line.
bool SaveUrlText(const TJobListModel &jobs, const QString &fileName, QString *error);

} // namespace TJobListFile
