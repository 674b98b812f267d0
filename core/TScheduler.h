#pragma once

#include "core/THistory.h"
#include "core/THostPacing.h"
#include "core/TJobListModel.h"
#include "download/HttpThr2.h"
#include "download/TRunFiles.h"

#include <QHash>
#include <QTimer>

#include <array>
#include <functional>

struct TSettings;

// Hands the jobs of the list to a pool of up to nine workers, StartsPerTick starts per timer tick
// (more than one: a parked worker may take one of them before the next tick) within the per-host limits, watches running jobs for stalls and switches itself off when nothing
// is left. Lives on the GUI thread.
// Which job runs where is known here, from hand-out to the worker's end of run; row captions only show it.
class TScheduler : public TWorkerSink, public TRunningJobs
{
    Q_OBJECT
public:
    static constexpr int SlotCount = 9;
    // Progress of the workers whose digits are 0..9, in percent.
    using TWorkerProgress = std::array<int, 10>;
    enum TSlotState { SlotNone = 0, SlotIdle = 1, SlotBusy = 2 };

    TScheduler(TJobListModel &jobs, TSettings &settings, QObject *parent = nullptr);
    ~TScheduler() override;

    QString ProgramFolder;
    bool HeadCommand = false; // the options dialog's "Head Command"
    // How long stopped workers get to park, and then to end their threads.
    int ParkWaitMs = 10000;
    int JoinWaitMs = 5000;
    // Milliseconds on a steady clock, for waits a server asked for; tests put their own in its place.
    std::function<qint64()> Clock;
    // A random number in [0, 1) for the spread of the gap between starts to one host.
    std::function<double()> Random;
    // The longest wait a busy server may ask for before its row is given up, in ms; -1: any.
    qint64 MaxWaitMs = -1;

    void TButtonGetClick();  // fetching on; the download history is read anew
    void TButtonStopClick(); // no new jobs; running ones go on
    void StopAll();          // fetching off and every running job aborted
    void AbortRows(const QList<int> &rows);
    // Serves the workers' calls until no job runs or ParkWaitMs has passed; true when none runs.
    bool WaitUntilParked();
    // Aborts running jobs, lets the workers park, ends and joins their threads. A worker that does
    // not end in time is cut off from this object and left to end on its own.
    void Shutdown();
    // A split file joined from its parts is a file fetched whole: recorded in the download history
    // under its URL.
    void RecordMerged(const QString &url, const QString &file, const QByteArray &sha256);

    // Loads the cookie file and the .netrc the settings name, for the jobs handed out from now on.
    // Returns what the user is to be told, each line also logged; *cookiesRefused: a cookie file
    // was named but none of it could be read.
    QStringList LoadRunFiles(bool *cookiesRefused = nullptr);
    // What LoadRunFiles read last; every worker shares it.
    const TRunFiles &RunFiles() const { return FRunFiles; }

    bool IsFetching() const { return FTimer.isActive(); }
    // True while any slot from 0 up to the Threads setting runs a job.
    bool AnySlotBusy() const;
    // True while any worker runs a job, whatever the Threads setting is now.
    bool AnyJobRunning() const;
    bool IsRunningJob(TJobId id) const override;
    bool IsRunningRow(int row) const { return IsRunningJob(FJobs.JobAt(row)); }
    // The job slot runs, 0 when it runs none.
    TJobId SlotJob(int slot) const { return FSlotJobs[slot]; }
    // The final text of the stop asked of a running job; empty when none was asked.
    QString StopRequested(TJobId id) const;
    int SlotState(int slot) const { return FSlotStates[slot]; }
    // Monitor passes without progress after which an HTTP/1.1 job is timed out.
    int StallLimitPasses() const;
    // Ticks a row that ended "Retry" for the nth time in a row waits before it is handed out again.
    int BackOffTicks(int failures) const;

    void Timer1Timer();
    void MonitorJobs();
    void CreateWorker();
    void WorkerIdle(int slot);
    // The first row from the top that is pending, not running, not waiting after a failure and
    // whose host lets it start.
    int NextPendingRow() const;
    void SetSlotState(int slot, int state);

    // TWorkerSink: calls from workers, run on this thread while they wait.
    void ApplyUpdate(THTTPThread &worker, int code) override;
    void FinishRun(THTTPThread &worker) override;
    void ShowCompleted(THTTPThread &worker) override;

    // Why a part row's S Bytes and E Bytes give no range to fetch; empty for a whole-file row and a
    // good range, which is then put into start and end (end exclusive).
    static QString PartRangeProblem(const TJobListModel &jobs, int row, qint64 *start = nullptr, qint64 *end = nullptr);
    // What a job stopped for stalling failed of, for a stall limit of seconds.
    static QString StallReason(int seconds);
    // A % cell as a worker's progress: its part before the first "." as a number, 0 for anything else.
    static int PercentValue(const QString &cell);
    // The share of rows neither running nor pending, in percent; an empty list counts as done.
    static int OverallPercent(int rows, int running, int pending);

    static const QString UserAbortText;
    static const QString TimeOutText;
    // The Message of a part row whose range cannot be read.
    static const QString PartRangeAbortText;

signals:
    void SlotStateChanged(int slot, int state);
    void FetchingChanged(bool on);
    void Ticked();
    void StatusBarText(const QString &text);
    void HeadersReceived(int code, const QStringList &headers);
    void FileCompleted(const QString &localFile);
    // After each monitor pass: the workers' progress and the whole list's.
    void ProgressChanged(const TScheduler::TWorkerProgress &workers, int overall);
    // The timer switched itself off because no job is left.
    void WorkFinished();
    // A job was handed to the worker of slot.
    void JobStarted(quint64 jobId, int slot);
    // A worker has parked after this job; its row holds the final texts.
    void JobEnded(quint64 jobId);
    // A job that ended pending waits waitMs, as its server asked, before it is asked again.
    void JobWaiting(quint64 jobId, qint64 waitMs);
    // The download history could not be read or written, or had damaged lines: what and why.
    void HistoryProblem(const QString &text);

private:
    // Failures of a job in a row, the tick from which it may be handed out again, and the Clock
    // time before which it may not (a busy server's "Retry-After").
    struct TRetryState {
        int failures = 0;
        qint64 readyTick = 0;
        qint64 notBeforeMs = 0;
    };

    // Hands pending rows to free slots while this tick's StartsPerTick lasts; ends fetching when
    // nothing is left to do.
    void StartRows();
    // With more than one start per tick, a worker that has parked takes its next row at once
    // rather than on the next tick, within the tick's starts.
    void StartOnFreedWorker();
    bool HandOut(int slot, int row);
    // The host of the row's URL is under its limit of running rows, outside its gap and not held.
    bool HostLets(int row, TJobId id) const;
    int RunningOnHost(const QString &host) const;
    // A run's end as its host sees it: a server's wait or repeated connection failures hold the host.
    void NoteHostRunEnded(int slot, TJobId id, const TRunOutcome &ended, const TRunOutcome &shown);
    QString LocalFileOf(int row) const;
    // A busy worker writes the row's file: a second one must not write the same partial file at once.
    bool FileInUse(int row) const;
    void RequestStop(int slot, const QString &text);
    int SlotOfJob(TJobId id) const;
    // After a run, from its outcome alone: a job to be asked again waits, or is given up at the
    // MaxTries setting or when its server asks for a wait over MaxWaitMs. Returns what the row is
    // to show: ended, or why the job was given up.
    TRunOutcome NoteRunEnded(TJobId id, const TRunOutcome &ended);
    // The download history (TSchedulerHistory.cpp): read when fetching begins; with SkipDone every
    // pending whole-file row whose URL it holds ends in one pass; a whole file completed is recorded,
    // and ends as a duplicate when an earlier file of another URL with its content is still there.
    void LoadHistory();
    void SkipRecordedRows();
    TRunOutcome RecordCompleted(const THTTPThread &worker, const TRunOutcome &ended);

    TJobListModel &FJobs;
    TSettings &FSettings;
    QTimer FTimer;
    QTimer FStartSoon; // fires once control is back in the event loop after a worker parked
    bool FInTick = false;
    qint64 FTicks = 0;
    int FStartsThisTick = 0;
    std::array<THTTPThread *, SlotCount> FWorkers{};
    std::array<int, SlotCount> FSlotStates{};
    std::array<TJobId, SlotCount> FSlotJobs{};
    std::array<QString, SlotCount> FSlotStops;
    std::array<QString, SlotCount> FSlotFiles;
    std::array<QString, SlotCount> FSlotHosts;
    // The run of the slot got an answer from its server: its failure was not one to connect.
    std::array<bool, SlotCount> FSlotAnswered{};
    THostPacing FPacing;
    QHash<TJobId, TRetryState> FRetries;
    TRunFiles FRunFiles;
    THistory FHistory;
};
