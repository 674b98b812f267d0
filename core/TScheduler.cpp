#include "core/TScheduler.h"

#include "core/ListLog.h"
#include "core/TSettings.h"
#include "download/RowTexts.h"
#include "download/TRateLimit.h"
#include "download/UrlUtil.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QTime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

const QString TScheduler::UserAbortText = QStringLiteral("処理を中断しました。");
const QString TScheduler::TimeOutText = QStringLiteral("Time Out!");
const QString TScheduler::PartRangeAbortText = TRunOutcome::Aborted(QStringLiteral("S Bytes / E Bytes")).Text();

namespace {
// Workers that did not end in time stay referenced for the life of the process: their threads may
// still read them, and a worker nothing points at would be a leak, not a decision.
void KeepLeftBehind(THTTPThread *worker)
{
    // Never destroyed: the list must outlive every static object a late thread could still reach.
    static auto *leftBehind = new std::vector<THTTPThread *>;
    leftBehind->push_back(worker);
}

// Raises a re-entrancy flag for a scope and lowers it on every way out, an error included.
struct TRaised {
    bool &flag;
    explicit TRaised(bool &f) : flag(f) { flag = true; }
    ~TRaised() { flag = false; }
    TRaised(const TRaised &) = delete;
    TRaised &operator=(const TRaised &) = delete;
};

QString TimeOfDay()
{
    return TJobListModel::TimeCell(QTime::currentTime());
}

} // namespace

TScheduler::TScheduler(TJobListModel &jobs, TSettings &settings, QObject *parent)
    : TWorkerSink(parent), FJobs(jobs), FSettings(settings)
{
    Clock = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    Random = [] { return QRandomGenerator::global()->generateDouble(); };
    connect(&FTimer, &QTimer::timeout, this, &TScheduler::Timer1Timer);
    FStartSoon.setSingleShot(true);
    FStartSoon.setInterval(0);
    connect(&FStartSoon, &QTimer::timeout, this, &TScheduler::StartOnFreedWorker);
}

TScheduler::~TScheduler()
{
    Shutdown();
}

void TScheduler::TButtonGetClick()
{
    LoadHistory();
    FTimer.setInterval(FSettings.Interval);
    FTimer.start();
    emit FetchingChanged(true);
}

void TScheduler::TButtonStopClick()
{
    FTimer.stop();
    emit FetchingChanged(false);
}

void TScheduler::StopAll()
{
    TButtonStopClick();
    for (int slot = 0; slot < SlotCount; ++slot)
        RequestStop(slot, UserAbortText);
}

void TScheduler::AbortRows(const QList<int> &rows)
{
    for (const int row : rows)
        RequestStop(SlotOfJob(FJobs.JobAt(row)), UserAbortText);
}

void TScheduler::RequestStop(int slot, const QString &text)
{
    if (slot < 0 || slot >= SlotCount || FSlotStates[slot] != SlotBusy || !FWorkers[slot])
        return;
    FSlotStops[slot] = text;
    FWorkers[slot]->RequestStop(FSlotJobs[slot], text);
}

int TScheduler::SlotOfJob(TJobId id) const
{
    if (id == 0)
        return -1;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (FSlotStates[slot] == SlotBusy && FSlotJobs[slot] == id)
            return slot;
    return -1;
}

bool TScheduler::IsRunningJob(TJobId id) const
{
    return SlotOfJob(id) >= 0;
}

QString TScheduler::StopRequested(TJobId id) const
{
    const int slot = SlotOfJob(id);
    return slot < 0 ? QString() : FSlotStops[slot];
}

bool TScheduler::WaitUntilParked()
{
    const QDeadlineTimer deadline(ParkWaitMs);
    // Only the workers' calls run meanwhile: no window event can start anything new.
    Calls()->RunPending();
    while (AnyJobRunning() && Calls()->WaitAndRun(deadline)) {
    }
    return !AnyJobRunning();
}

void TScheduler::Shutdown()
{
    FTimer.stop();
    for (int slot = 0; slot < SlotCount; ++slot)
        RequestStop(slot, UserAbortText);
    WaitUntilParked();
    // From here no worker call reaches this object: one still blocked in a call returns at once.
    CutOffWorkers();
    const QDeadlineTimer deadline(JoinWaitMs);
    for (int slot = 0; slot < SlotCount; ++slot) {
        THTTPThread *worker = std::exchange(FWorkers[slot], nullptr);
        if (worker && !worker->Shutdown(deadline)) {
            // Its thread only touches the worker itself now; deleting that under it would not be safe.
            std::fprintf(stderr, "pelmor: worker %d did not end in time and is left behind\n", slot);
            KeepLeftBehind(worker);
        } else {
            delete worker;
        }
        FSlotJobs[slot] = 0;
        FSlotStops[slot].clear();
        FSlotFiles[slot].clear();
        FSlotHosts[slot].clear();
        if (FSlotStates[slot] != SlotNone)
            SetSlotState(slot, SlotNone);
    }
}

int TScheduler::StallLimitPasses() const
{
    // The limit keeps its meaning in seconds whatever the timer's interval.
    const qint64 limitMs = qint64(FSettings.TimeOutCTR) * 1000;
    const qint64 interval = std::max(1, FSettings.Interval);
    return int((limitMs + interval - 1) / interval);
}

void TScheduler::Timer1Timer()
{
    emit Ticked();
    if (FInTick)
        return;
    const TRaised inTick{FInTick};
    ++FTicks;

    // The options dialog sets the cap at once; this covers a settings file read and batch mode.
    TRateLimit::Program().SetBytesPerSecond(FSettings.RateLimit.BytesPerSecond);
    MonitorJobs();
    SkipRecordedRows();
    FStartsThisTick = 0;
    StartRows();
}

void TScheduler::StartOnFreedWorker()
{
    // Not inside a tick (a time-out lets events run), and never once fetching is off.
    if (FInTick || !FTimer.isActive())
        return;
    const TRaised inTick{FInTick};
    StartRows();
}

void TScheduler::StartRows()
{
    const int highest = std::clamp(FSettings.Threads, 0, SlotCount - 1);
    const int perTick = std::clamp(FSettings.StartsPerTick, 1, TSettings::MaxStartsPerTick);
    for (int slot = 0; slot <= highest && FStartsThisTick < perTick; ++slot) {
        if (FSlotStates[slot] == SlotNone)
            CreateWorker();
        if (FSlotStates[slot] != SlotIdle)
            continue;
        const int row = NextPendingRow();
        if (row < 0) {
            // Rows that wait after a failure keep the timer on.
            if (!AnySlotBusy() && FJobs.PendingCount() == 0) {
                FTimer.stop();
                qCDebug(lcList, "fetching ended; the workers' calls to this thread so far: %llu", Calls()->SentRun());
                emit FetchingChanged(false);
                emit WorkFinished();
            }
            return;
        }
        // A row refused at hand-out used up a start; the slot, still free, takes the next one.
        if (!HandOut(slot, row))
            --slot;
        ++FStartsThisTick;
    }
}

bool TScheduler::AnySlotBusy() const
{
    const int highest = std::clamp(FSettings.Threads, 0, SlotCount - 1);
    for (int slot = 0; slot <= highest; ++slot)
        if (FSlotStates[slot] == SlotBusy)
            return true;
    return false;
}

bool TScheduler::AnyJobRunning() const
{
    return std::find(FSlotStates.begin(), FSlotStates.end(), int(SlotBusy)) != FSlotStates.end();
}

void TScheduler::MonitorJobs()
{
    // Only running rows can stall, and the slots know them: the pass costs the same for any list.
    const int limit = StallLimitPasses();
    TWorkerProgress progress{};
    int running = 0;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (FSlotStates[slot] != SlotBusy)
            continue;
        const int row = FJobs.RowOfJob(FSlotJobs[slot]);
        if (row < 0)
            continue;
        ++running;
        const QString th = FJobs.Caption(row);
        const int worker = th.size() == 1 && th[0].isDigit() ? th[0].digitValue() : slot;
        progress[size_t(worker)] = PercentValue(FJobs.Cell(row, SubPercent));
        const QString received = FJobs.Cell(row, SubCByte);
        if (received != FJobs.Cell(row, SubBKey)) {
            FJobs.SetCell(row, SubCount, QStringLiteral("0"));
        } else {
            const int count = FJobs.Cell(row, SubCount).toInt() + 1;
            FJobs.SetCell(row, SubCount, QString::number(count));
            // Whatever version the server named, a silent one is stopped; only an HTTP/1.1 row is
            // then resumed with a range, any other starts its file over.
            if (count > limit && FSlotStops[slot].isEmpty())
                RequestStop(slot, TimeOutText);
        }
        FJobs.SetCell(row, SubBKey, received);
    }
    emit ProgressChanged(progress, OverallPercent(FJobs.RowCount(), running, FJobs.PendingCount()));
}

int TScheduler::PercentValue(const QString &cell)
{
    const qsizetype dot = cell.indexOf(QLatin1Char('.'));
    bool ok = false;
    const int value = (dot < 0 ? cell : cell.left(dot)).toInt(&ok);
    return ok ? value : 0;
}

int TScheduler::OverallPercent(int rows, int running, int pending)
{
    if (rows <= 0)
        return 100;
    return std::clamp(int(qint64(rows - running - pending) * 100 / rows), 0, 100);
}

void TScheduler::CreateWorker()
{
    const auto empty = std::find(FWorkers.begin(), FWorkers.end(), nullptr);
    if (empty == FWorkers.end())
        return;
    const int slot = int(empty - FWorkers.begin());
    auto *worker = new THTTPThread(*this);
    worker->Setup(slot);
    worker->start();
    *empty = worker;
    SetSlotState(slot, SlotIdle);
}

void TScheduler::WorkerIdle(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    FSlotJobs[slot] = 0;
    FSlotStops[slot].clear();
    FSlotFiles[slot].clear();
    FSlotHosts[slot].clear();
    SetSlotState(slot, SlotIdle);
}

int TScheduler::NextPendingRow() const
{
    if (FJobs.PendingCount() == 0)
        return -1;
    for (int row = 0; row < FJobs.RowCount(); ++row) {
        const QString message = FJobs.Cell(row, SubMessage);
        if (!RowText::IsPending(message))
            continue;
        const TJobId id = FJobs.JobAt(row);
        if (IsRunningJob(id))
            continue;
        // Only a row still showing "Retry" waits; one the user marked "Ready" goes at once.
        const auto retry = FRetries.constFind(id);
        if (message == RowText::Retry && retry != FRetries.constEnd()
            && (FTicks < retry->readyTick || Clock() < retry->notBeforeMs))
            continue;
        // An https URL and its http twin, or two rows of one URL, share one file.
        if (FileInUse(row) || !HostLets(row, id))
            continue;
        return row;
    }
    return -1;
}

QString TScheduler::LocalFileOf(int row) const
{
    return FJobs.LocalFile(row, ProgramFolder, FSettings.LongFileNames());
}

bool TScheduler::FileInUse(int row) const
{
    // The row's name is worked out only when some slot is writing: most ticks have none to compare.
    QString localFile;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (FSlotStates[slot] != SlotBusy)
            continue;
        if (localFile.isNull())
            localFile = LocalFileOf(row);
        if (FSlotFiles[slot] == localFile)
            return true;
    }
    return false;
}

void TScheduler::SetSlotState(int slot, int state)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    FSlotStates[slot] = state;
    emit SlotStateChanged(slot, state);
}

bool TScheduler::HandOut(int slot, int row)
{
    TWorkerJob job;
    job.JobId = FJobs.JobAt(row);
    job.JobURL = FJobs.Cell(row, SubURL);
    job.JobProxy = FSettings.Proxy;
    job.CAFile = FSettings.CAFile;
    job.JobReferer = FSettings.Ref.trimmed();
    if (job.JobReferer.isEmpty())
        job.JobReferer = UrlUtil::ParseCuURL(job.JobURL);
    job.HttpVersion = FJobs.Cell(row, SubHttp);
    // An edited size that is not a number counts as unknown.
    if (!TJobListModel::ParseNumber(FJobs.Cell(row, SubTByte), &job.TotalBytes))
        job.TotalBytes = 0;
    if (!PartRangeProblem(FJobs, row, &job.StartByte, &job.EndByte).isEmpty()) {
        // A part whose range cannot be read would fetch the wrong bytes into its file.
        FJobs.SetCell(row, SubMessage, PartRangeAbortText);
        return false;
    }
    // Only a part has an end; its size is where it ends, and its file the version the probe saw.
    if (job.EndByte > 0) {
        job.TotalBytes = job.EndByte;
        job.Version = THttpFileVersion::FromText(FJobs.Version(row)).value_or(THttpFileVersion());
    }
    job.LocalFile = LocalFileOf(row);
    job.HeadCommand = HeadCommand;
    job.Size20KB = FSettings.Size20KB == 1;
    job.FollowRedirects = FSettings.FollowsRedirects();
    job.Cookies = FRunFiles.cookies;
    job.Netrc = FRunFiles.netrc;
    job.RateLimit = &TRateLimit::Program();

    // "Ready" is a fresh start: the user's, a new row's or a loaded list's.
    if (FJobs.Cell(row, SubMessage) == RowText::Ready)
        FRetries.remove(job.JobId);
    FJobs.SetCaption(row, QString::number(slot));
    FJobs.SetCell(row, SubMessage, QStringLiteral("Start"));
    FJobs.SetCell(row, SubCount, QStringLiteral("0"));
    FJobs.UpdateRowImage(row);
    FSlotJobs[slot] = job.JobId;
    FSlotStops[slot].clear();
    FSlotFiles[slot] = job.LocalFile;
    FSlotHosts[slot] = THostPacing::HostKey(job.JobURL);
    FSlotAnswered[slot] = false;
    FPacing.NoteStart(FSlotHosts[slot], Clock(), FSettings.HostGap.Draw(Random()));
    SetSlotState(slot, SlotBusy);
    emit JobStarted(job.JobId, slot);
    FWorkers[slot]->StartJob(job);
    return true;
}

void TScheduler::ApplyUpdate(THTTPThread &worker, int code)
{
    switch (code) {
    case THTTPThread::UpdateStatusBar:
        emit StatusBarText(worker.StatusBarText);
        return;
    case THTTPThread::UpdateHeadHeaders:
    case THTTPThread::UpdateGetHeaders:
        if (worker.SlotIndex >= 0 && worker.SlotIndex < SlotCount)
            FSlotAnswered[worker.SlotIndex] = true;
        emit HeadersReceived(code, worker.ResponseHeaders);
        return;
    default:
        break;
    }
    // A row deleted while its job ran has nowhere to write.
    const int row = FJobs.RowOfJob(worker.Job.JobId);
    if (row < 0)
        return;
    switch (code) {
    case THTTPThread::UpdateSlot:
        FJobs.SetCaption(row, QString::number(worker.SlotIndex));
        break;
    case THTTPThread::UpdateCByte:
        FJobs.SetCell(row, SubCByte, QString::number(worker.ReceivedBytes));
        break;
    case THTTPThread::UpdateTByte:
        FJobs.SetCell(row, SubTByte, QString::number(worker.Job.TotalBytes));
        break;
    case THTTPThread::UpdatePercent:
        if (const QString percent = worker.PercentText(); !percent.isEmpty())
            FJobs.SetCell(row, SubPercent, percent);
        break;
    case THTTPThread::UpdateCTime:
        FJobs.SetCell(row, SubCTime, TimeOfDay());
        break;
    case THTTPThread::UpdateSTime:
        FJobs.SetCell(row, SubSTime, TimeOfDay());
        break;
    case THTTPThread::UpdateHttp:
        FJobs.SetCell(row, SubHttp, worker.Job.HttpVersion);
        break;
    case THTTPThread::UpdateMessage:
        FJobs.SetCell(row, SubMessage, worker.MessageText);
        break;
    case THTTPThread::UpdateFinished:
        FJobs.SetCaption(row, RowText::FinishedCaption);
        break;
    default:
        return;
    }
    FJobs.UpdateRowImage(row);
}

QString TScheduler::PartRangeProblem(const TJobListModel &jobs, int row, qint64 *start, qint64 *end)
{
    qint64 first = 0, last = 0;
    const QString from = jobs.Cell(row, SubSBytes), to = jobs.Cell(row, SubEBytes);
    if (!jobs.Cell(row, SubDiv).isEmpty()
        && (!TJobListModel::ParseNumber(from, &first) || !TJobListModel::ParseNumber(to, &last) || last <= first))
        return QStringLiteral("S Bytes \"%1\" and E Bytes \"%2\" give no range to fetch").arg(from, to);
    if (start)
        *start = first;
    if (end)
        *end = last;
    return {};
}

QString TScheduler::StallReason(int seconds)
{
    return QStringLiteral("nothing received for %1 s").arg(seconds);
}

void TScheduler::ShowCompleted(THTTPThread &worker)
{
    emit FileCompleted(worker.Job.LocalFile);
}
