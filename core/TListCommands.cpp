#include "core/TListCommands.h"

#include "core/TJobListModel.h"
#include "download/HttpFileVersion.h"
#include "download/RowTexts.h"

#include <QFileInfo>

#include <algorithm>

namespace {

QList<int> Sorted(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool Running(const TJobListModel &jobs, const TRunningJobs &running, int row)
{
    return running.IsRunningJob(jobs.JobAt(row));
}

int Move(TJobListModel &jobs, const TRunningJobs &running, int row, int neighbour, bool *refusedForRunning)
{
    *refusedForRunning = false;
    if (row < 0 || neighbour < 0 || neighbour >= jobs.RowCount())
        return -1;
    if (Running(jobs, running, row) || Running(jobs, running, neighbour)) {
        *refusedForRunning = true;
        return -1;
    }
    jobs.SwapRows(row, neighbour);
    return neighbour;
}

} // namespace

int TListCommands::MoveUp(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected,
                          bool *refusedForRunning)
{
    const QList<int> rows = Sorted(selected);
    const int row = rows.isEmpty() ? -1 : rows.first();
    return Move(jobs, running, row, row - 1, refusedForRunning);
}

int TListCommands::MoveDown(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected,
                            bool *refusedForRunning)
{
    const QList<int> rows = Sorted(selected);
    const int row = rows.isEmpty() ? -1 : rows.last();
    return Move(jobs, running, row, row < 0 ? -1 : row + 1, refusedForRunning);
}

void TListCommands::Cut(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected)
{
    QList<int> idle;
    for (const int row : selected)
        if (!Running(jobs, running, row))
            idle.append(row);
    jobs.RemoveRows(idle);
}

void TListCommands::MarkReady(TJobListModel &jobs, const TRunningJobs &running, const QList<int> &selected)
{
    for (const int row : selected)
        if (!Running(jobs, running, row) && jobs.Cell(row, SubMessage) != RowText::LocalFile)
            jobs.SetCell(row, SubMessage, RowText::Ready);
}

void TListCommands::MarkCancel(TJobListModel &jobs, const QList<int> &selected)
{
    for (const int row : selected)
        jobs.SetCell(row, SubMessage, RowText::Cancel);
}

QStringList TListCommands::LocalFiles(const TJobListModel &jobs, const QList<int> &selected, const QString &folder,
                                      bool longNames, bool withDiv)
{
    QStringList files;
    for (const int row : Sorted(selected))
        files.append(jobs.LocalFile(row, folder, longNames, withDiv));
    return files;
}

QStringList TListCommands::ExistingFiles(const TJobListModel &jobs, const QList<int> &selected, const QString &folder,
                                         bool longNames, bool withDiv)
{
    QStringList files = LocalFiles(jobs, selected, folder, longNames, withDiv);
    files.removeIf([](const QString &file) { return !QFileInfo(file).isFile(); });
    return files;
}

QString TListCommands::MergeRefusal(const TJobListModel &jobs, const QList<int> &selected)
{
    int first = -1;
    THttpFileVersion version;
    for (const int row : Sorted(selected)) {
        const std::optional<THttpFileVersion> recorded = THttpFileVersion::FromText(jobs.Version(row));
        if (!recorded)
            continue;
        if (first < 0) {
            first = row;
            version = *recorded;
        } else if (*recorded != version) {
            return QStringLiteral("parts %1 and %2 are of different versions of the file (%3; %4)")
                .arg(jobs.Cell(first, SubDiv), jobs.Cell(row, SubDiv), version.Describe(), recorded->Describe());
        }
    }
    return {};
}

QString TListCommands::DroppedFileUrl(const QString &path, const QString &programFolder)
{
    QString relative = path;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString prefix = programFolder + QLatin1Char('/');
    if (relative.startsWith(prefix))
        relative = relative.mid(prefix.size());
    return QStringLiteral("file://") + relative;
}
