#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringView>

// The fixed texts of a job's row: its caption and its Message. Lists store them, users mark rows
// with them, and a row read from a list has nothing else to tell its state: they are spelled here only.
namespace RowText {

// Messages of a row still to be fetched: a fresh one, and one asked again after a failed run.
inline constexpr QLatin1StringView Ready{"Ready"};
inline constexpr QLatin1StringView Retry{"Retry"};
// A row the user set aside, and a local "file://" row, which is never fetched.
inline constexpr QLatin1StringView Cancel{"Cancel"};
inline constexpr QLatin1StringView LocalFile{"<FILE>"};
// Messages of a row whose file is there whole.
inline constexpr QLatin1StringView Completed{"End>Completed!"};
inline constexpr QLatin1StringView FileEnd{"End>File End!"};
inline constexpr QStringView FileExists{u"ファイルが存在します。"};
// A row whose URL the download history holds, ended without a request.
inline constexpr QStringView AlreadyDone{u"End>取得済みです。"};
// How a run's end for good begins: "End>" the answer of a failed HEAD, "Abort>" why it was refused.
inline constexpr QLatin1StringView EndPrefix{"End>"};
inline constexpr QLatin1StringView AbortPrefix{"Abort>"};

// Captions: a row no worker has touched yet, and one whose last run has ended.
inline constexpr QLatin1StringView NotStartedCaption{"(..)"};
inline constexpr QLatin1StringView FinishedCaption{"@@"};

// A row eligible to be fetched: "Ready" or "Retry".
bool IsPending(QStringView message);
// A completed file with the content of the earlier file named, kept or removed.
QString Duplicate(const QString &earlier, bool removed);
bool IsDuplicate(QStringView message);
// A row whose file came down whole, was there already, had been fetched before or duplicates another.
bool IsComplete(QStringView message);
// A part refused because the server now has another version of the file than its split saw.
bool IsFileChanged(QStringView message);

} // namespace RowText
