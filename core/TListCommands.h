#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class TJobListModel;
class TRunningJobs;

// The list commands' rules on the job list, apart from the windows that offer them. Row lists are
// selections in any order.
namespace TListCommands {

// Moves the first selected row up, or the last selected row down, one place; neither that row nor
// its neighbour may be running. Returns the row now holding the moved job, or -1 when refused
// (and *refusedForRunning tells whether a running row was the reason).
int MoveUp(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected, bool *refusedForRunning);
int MoveDown(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected, bool *refusedForRunning);

// Running rows are left alone: deleting one would take the row its worker writes to, and marking
// one "Ready" would hand it to a second worker while the first still writes its file.
void Cut(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected);
void MarkReady(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected);
void MarkCancel(TJobListModel &jobs, const QList<int> &selected);

// The local files of the rows, top to bottom, that exist; with the part text when withDiv.
QStringList ExistingFiles(const TJobListModel &jobs, const QList<int> &selected, const QString &folder, bool longNames,
                          bool withDiv);
// The local files of the rows, top to bottom, whether they exist or not (merging takes them in this order).
QStringList LocalFiles(const TJobListModel &jobs, const QList<int> &selected, const QString &folder, bool longNames,
                       bool withDiv);

// Why the selected rows' files must not be joined: two parts recorded different versions of the
// file. Empty when they may be; parts without a record (lists of older runs) are not compared.
QString MergeRefusal(const TJobListModel &jobs, const QList<int> &selected);

// A local file dropped on the list becomes a "file://" job, relative to the program folder when below it.
QString DroppedFileUrl(const QString &path, const QString &programFolder);

} // namespace TListCommands
