// What becomes of a job when its run ends: done with, asked again after a wait, or given up.
#include "core/TScheduler.h"

#include "core/ListLog.h"
#include "core/TSettings.h"
#include "download/RowTexts.h"

#include <algorithm>

namespace {
// The longest wait of a row that keeps failing.
constexpr qint64 BackOffCapMs = 60000;
} // namespace

int TScheduler::BackOffTicks(int failures) const
{
    const qint64 cap = std::max<qint64>(1, BackOffCapMs / std::max(1, FSettings.Interval));
    const qint64 doubled = qint64(1) << std::clamp(failures - 1, 0, 30);
    return int(std::min(doubled, cap));
}

void TScheduler::FinishRun(THTTPThread &worker)
{
    // The row's last texts, its "@@" and the free slot come in one step: no tick sees a row that
    // reads "Retry" while its worker still holds it.
    const TJobId id = worker.Job.JobId;
    const int row = FJobs.RowOfJob(id);
    if (row >= 0) {
        // A job stopped for stalling goes back into the queue; the stop's text was this scheduler's own.
        TRunOutcome ended = worker.Outcome;
        const bool timedOut = ended.Kind == TRunOutcome::TKind::Stopped && ended.Reason == TimeOutText;
        if (timedOut) {
            ended.Kind = TRunOutcome::TKind::Retry;
            ended.Reason = StallReason(FSettings.TimeOutCTR);
        }
        ended = RecordCompleted(worker, ended);
        // Decided on the outcome before the row's text is written: what the row shows decides nothing.
        const TRunOutcome shown = NoteRunEnded(id, ended);
        FJobs.SetCell(row, SubMessage, shown.Text());
        ApplyUpdate(worker, THTTPThread::UpdateFinished);
        if (timedOut)
            FJobs.SetCell(row, SubCount, QStringLiteral("0"));
        NoteHostRunEnded(worker.SlotIndex, id, ended, shown);
        if (shown.Pending() && shown.WaitMs > 0)
            emit JobWaiting(id, shown.WaitMs);
    }
    WorkerIdle(worker.SlotIndex);
    if (FSettings.StartsPerTick > 1 && FTimer.isActive())
        FStartSoon.start();
    emit JobEnded(id);
}

TRunOutcome TScheduler::NoteRunEnded(TJobId id, const TRunOutcome &ended)
{
    if (!ended.Pending()) {
        FRetries.remove(id);
        return ended;
    }
    TRetryState &retry = FRetries[id];
    ++retry.failures;
    const qint64 waitMs = ended.WaitMs;
    // The limit's text comes first and stays as it was: lists and users look for it.
    QString givenUp;
    if (FSettings.MaxTries > 0 && retry.failures >= FSettings.MaxTries)
        givenUp = QStringLiteral("Retry limit (%1)").arg(retry.failures)
                  + (ended.Reason.isEmpty() ? QString() : QStringLiteral(": ") + ended.Reason);
    else if (MaxWaitMs >= 0 && waitMs > MaxWaitMs)
        givenUp = QStringLiteral("Retry-After %1 s is longer than the wait limit (%2 s)")
                      .arg(waitMs / 1000)
                      .arg(MaxWaitMs / 1000);
    if (!givenUp.isEmpty()) {
        const TRunOutcome aborted = TRunOutcome::Aborted(givenUp);
        qCDebug(lcList, "job %llu given up: %s", id, qUtf8Printable(aborted.Text()));
        FRetries.remove(id);
        return aborted;
    }
    // Counted from the next tick: the first failure lets one tick pass, so rows below get their turn.
    retry.readyTick = FTicks + 1 + BackOffTicks(retry.failures);
    retry.notBeforeMs = waitMs > 0 ? Clock() + waitMs : 0;
    qCDebug(lcList, "job %llu failed %d time(s) (%s); asked again in %lld tick(s), after at least %lld ms", id,
            retry.failures, qUtf8Printable(ended.Reason), retry.readyTick - FTicks, waitMs);
    return ended;
}
