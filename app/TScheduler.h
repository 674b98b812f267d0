#pragma once

#include "HttpThr2.h"
#include "TJobListModel.h"

#include <QTimer>

#include <array>

struct TSettings;

// Hands the jobs of the list to a pool of up to nine workers, one start per timer tick, watches
// running jobs for stalls and switches itself off when nothing is left. Lives on the GUI thread.
class TScheduler : public TWorkerSink
{
    Q_OBJECT
public:
    static constexpr int SlotCount = 9;
    enum TSlotState { SlotNone = 0, SlotIdle = 1, SlotBusy = 2 };

    TScheduler(TJobListModel &jobs, TSettings &settings, QObject *parent = nullptr);
    ~TScheduler() override;

    QString ProgramFolder;
    bool HeadCommand = false;   // the options dialog's "Head Command"

    void TButtonGetClick();     // fetching on
    void TButtonStopClick();    // no new jobs; running ones go on
    void StopAll();             // fetching off and every running job aborted
    void AbortRows(const QList<int> &rows);
    // Aborts running jobs, waits until every worker has parked, ends and joins the threads.
    void Shutdown();

    bool IsFetching() const { return m_timer.isActive(); }
    // True while any slot in use runs a job.
    bool AnySlotBusy() const;
    int SlotState(int slot) const { return m_slotStates[slot]; }
    // Monitor passes without progress after which an HTTP/1.1 job is timed out.
    int StallLimitPasses() const;

    void Timer1Timer();
    void MonitorJobs();
    void CreateWorker();
    void WorkerIdle(int slot);
    int NextPendingRow() const;
    // Only these two Message texts make a row eligible to be fetched.
    static bool IsPending(const QString &message);
    void SetSlotState(int slot, int state);

    // TWorkerSink: calls from workers, run on this thread while they wait.
    void ApplyUpdate(THTTPThread &worker, int code) override;
    void FinishRun(THTTPThread &worker) override;
    void ShowCompleted(THTTPThread &worker) override;

    static const QString UserAbortText;
    static const QString TimeOutText;

signals:
    void SlotStateChanged(int slot, int state);
    void FetchingChanged(bool on);
    void Ticked();
    void StatusBarText(const QString &text);
    void HeadersReceived(int code, const QStringList &headers);
    void FileCompleted(const QString &localFile);
    // The timer switched itself off because no job is left.
    void WorkFinished();
    // A worker has parked after this job; its row holds the final texts.
    void JobEnded(quint64 jobId);

private:
    bool HandOut(int slot, int row);
    void AbortRow(int row, const QString &text);

    TJobListModel &m_jobs;
    TSettings &m_settings;
    QTimer m_timer;
    bool m_inTick = false;
    std::array<THTTPThread *, SlotCount> m_workers{};
    std::array<int, SlotCount> m_slotStates{};
    std::array<quint64, SlotCount> m_slotJobs{};
};
