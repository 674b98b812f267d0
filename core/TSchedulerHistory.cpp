// The download history as the scheduler uses it: rows already fetched, files recorded, duplicates.
#include "core/TScheduler.h"

#include "core/TJobListFile.h"
#include "core/TSettings.h"
#include "download/RowTexts.h"

#include <QDir>
#include <QFileInfo>

void TScheduler::LoadHistory()
{
    // Without a program folder (a test's scheduler) the history is kept in memory only.
    const QString file = ProgramFolder.isEmpty() ? QString() : ProgramFolder + QLatin1Char('/') + THistory::FileName;
    const TJobListFile::TLoadReport report = FHistory.Load(file);
    if (!report.error.isEmpty())
        emit HistoryProblem(report.error);
    if (report.skippedLines > 0)
        emit HistoryProblem(QStringLiteral("%1: %2 bad lines skipped (lines %3)")
                                .arg(file)
                                .arg(report.skippedLines)
                                .arg(TJobListFile::SkippedLineNumbers(report)));
}

void TScheduler::SkipRecordedRows()
{
    if (!FSettings.SkipsDone() || FJobs.PendingCount() == 0)
        return;
    // One pass over the list on a tick, not one row per tick: a list fetched before ends at once.
    QList<TJobId> ended;
    for (int row = 0; row < FJobs.RowCount(); ++row) {
        const TJobId id = FJobs.JobAt(row);
        // A part is no whole file: the history holds whole files only.
        if (!RowText::IsPending(FJobs.Cell(row, SubMessage)) || !FJobs.Cell(row, SubDiv).isEmpty() || IsRunningJob(id)
            || !FHistory.Contains(FJobs.Cell(row, SubURL)))
            continue;
        FJobs.SetCell(row, SubMessage, RowText::AlreadyDone.toString());
        FJobs.UpdateRowImage(row);
        FRetries.remove(id);
        ended.append(id);
    }
    for (const TJobId id : std::as_const(ended))
        emit JobEnded(id);
}

void TScheduler::RecordMerged(const QString &url, const QString &file, const QByteArray &sha256)
{
    QString error;
    if (!FHistory.Append({QDateTime::currentDateTimeUtc(), QFileInfo(file).size(), sha256, url, file}, &error))
        emit HistoryProblem(error);
}

TRunOutcome TScheduler::RecordCompleted(const THTTPThread &worker, const TRunOutcome &ended)
{
    const bool done = ended.Kind == TRunOutcome::TKind::Completed || ended.Kind == TRunOutcome::TKind::FileEnd;
    if (!done || worker.FileSha256.isEmpty())
        return ended;
    const THistory::TRecord record{QDateTime::currentDateTimeUtc(), worker.FileSize, worker.FileSha256,
                                   worker.Job.JobURL, worker.Job.LocalFile};
    const std::optional<THistory::TRecord> same = FHistory.FindOther(record.sha256, record.url);
    QString error;
    if (!FHistory.Append(record, &error))
        emit HistoryProblem(error);
    // An empty file duplicates nothing worth a word. An earlier file that is gone, or no longer of
    // this size, or that is this very file (an http URL and its https twin share one), leaves this
    // copy the only one: it is never removed.
    if (!same || record.size == 0 || same->localFile == record.localFile)
        return ended;
    const QFileInfo earlier(same->localFile);
    if (!earlier.isFile() || earlier.isSymLink() || earlier.size() != record.size)
        return ended;
    const QString shown = QDir(ProgramFolder).relativeFilePath(same->localFile);
    const bool removed = FSettings.RemovesDuplicates() && QFile::remove(record.localFile);
    return TRunOutcome::Of(removed ? TRunOutcome::TKind::DuplicateRemoved : TRunOutcome::TKind::Duplicate,
                           ProgramFolder.isEmpty() || shown.startsWith(QLatin1String("..")) ? same->localFile : shown);
}
