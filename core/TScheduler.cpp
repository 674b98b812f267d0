#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/RowTexts.h"
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


QString TimeOfDay()
{
    return TJobListModel::TimeCell(QTime::currentTime());
}

} // namespace

TScheduler::TScheduler(TJobListModel &jobs, TSettings &settings, QObject *parent)
    : TWorkerSink(parent)
    , m_jobs(jobs)
    , m_settings(settings)
{
    Clock = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    Random = [] { return QRandomGenerator::global()->generateDouble(); };
    connect(&m_timer, &QTimer::timeout, this, &TScheduler::Timer1Timer);
}

TScheduler::~TScheduler()
{
    Shutdown();
}

void TScheduler::TButtonGetClick()
{
    m_timer.setInterval(m_settings.Interval);
    m_timer.start();
    emit FetchingChanged(true);
}

void TScheduler::TButtonStopClick()
{
    m_timer.stop();
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
        RequestStop(SlotOfJob(m_jobs.JobAt(row)), UserAbortText);
}

void TScheduler::RequestStop(int slot, const QString &text)
{
    if (slot < 0 || slot >= SlotCount || m_slotStates[slot] != SlotBusy || !m_workers[slot])
        return;
    m_slotStops[slot] = text;
    m_workers[slot]->RequestStop(m_slotJobs[slot], text);
}

int TScheduler::SlotOfJob(TJobId id) const
{
    if (id == 0)
        return -1;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (m_slotStates[slot] == SlotBusy && m_slotJobs[slot] == id)
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
    return slot < 0 ? QString() : m_slotStops[slot];
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
    m_timer.stop();
    for (int slot = 0; slot < SlotCount; ++slot)
        RequestStop(slot, UserAbortText);
    WaitUntilParked();
    // From here no worker call reaches this object: one still blocked in a call returns at once.
    CutOffWorkers();
    const QDeadlineTimer deadline(JoinWaitMs);
    for (int slot = 0; slot < SlotCount; ++slot) {
        THTTPThread *worker = std::exchange(m_workers[slot], nullptr);
        if (worker && !worker->Shutdown(deadline)) {
            // Its thread only touches the worker itself now; deleting that under it would not be safe.
            std::fprintf(stderr, "pelmor: worker %d did not end in time and is left behind\n", slot);
            KeepLeftBehind(worker);
        } else {
            delete worker;
        }
        m_slotJobs[slot] = 0;
        m_slotStops[slot].clear();
        m_slotFiles[slot].clear();
        m_slotHosts[slot].clear();
        if (m_slotStates[slot] != SlotNone)
            SetSlotState(slot, SlotNone);
    }
}

int TScheduler::StallLimitPasses() const
{
    // The limit keeps its meaning in seconds whatever the timer's interval.
    const qint64 limitMs = qint64(m_settings.TimeOutCTR) * 1000;
    const qint64 interval = std::max(1, m_settings.Interval);
    return int((limitMs + interval - 1) / interval);
}

void TScheduler::Timer1Timer()
{
    emit Ticked();
    if (m_inTick)
        return;
    m_inTick = true;
    struct TClear {
        bool &flag;
        ~TClear() { flag = false; }
    } clear{m_inTick};
    ++m_ticks;

    MonitorJobs();
    const int highest = std::clamp(m_settings.Threads, 0, SlotCount - 1);
    const int perTick = std::clamp(m_settings.StartsPerTick, 1, TSettings::MaxStartsPerTick);
    int starts = 0;
    for (int slot = 0; slot <= highest && starts < perTick; ++slot) {
        if (m_slotStates[slot] == SlotNone)
            CreateWorker();
        if (m_slotStates[slot] != SlotIdle)
            continue;
        const int row = NextPendingRow();
        if (row < 0) {
            // Rows that wait after a failure keep the timer on.
            if (!AnySlotBusy() && m_jobs.PendingCount() == 0) {
                m_timer.stop();
                emit FetchingChanged(false);
                emit WorkFinished();
            }
            return;
        }
        // A row refused at hand-out used up a start; the slot, still free, takes the next one.
        if (!HandOut(slot, row))
            --slot;
        ++starts;
    }
}

bool TScheduler::AnySlotBusy() const
{
    const int highest = std::clamp(m_settings.Threads, 0, SlotCount - 1);
    for (int slot = 0; slot <= highest; ++slot)
        if (m_slotStates[slot] == SlotBusy)
            return true;
    return false;
}

bool TScheduler::AnyJobRunning() const
{
    return std::find(m_slotStates.begin(), m_slotStates.end(), int(SlotBusy)) != m_slotStates.end();
}

void TScheduler::MonitorJobs()
{
    // Only running rows can stall, and the slots know them: the pass costs the same for any list.
    const int limit = StallLimitPasses();
    TWorkerProgress progress{};
    int running = 0;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (m_slotStates[slot] != SlotBusy)
            continue;
        const int row = m_jobs.RowOfJob(m_slotJobs[slot]);
        if (row < 0)
            continue;
        ++running;
        const QString th = m_jobs.Caption(row);
        const int worker = th.size() == 1 && th[0].isDigit() ? th[0].digitValue() : slot;
        progress[size_t(worker)] = PercentValue(m_jobs.Cell(row, SubPercent));
        const QString received = m_jobs.Cell(row, SubCByte);
        if (received != m_jobs.Cell(row, SubBKey)) {
            m_jobs.SetCell(row, SubCount, QStringLiteral("0"));
        } else {
            const int count = m_jobs.Cell(row, SubCount).toInt() + 1;
            m_jobs.SetCell(row, SubCount, QString::number(count));
            // Whatever version the server named, a silent one is stopped; only an HTTP/1.1 row is
            // then resumed with a range, any other starts its file over.
            if (count > limit && m_slotStops[slot].isEmpty())
                RequestStop(slot, TimeOutText);
        }
        m_jobs.SetCell(row, SubBKey, received);
    }
    emit ProgressChanged(progress, OverallPercent(m_jobs.RowCount(), running, m_jobs.PendingCount()));
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
    const auto empty = std::find(m_workers.begin(), m_workers.end(), nullptr);
    if (empty == m_workers.end())
        return;
    const int slot = int(empty - m_workers.begin());
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
    m_slotJobs[slot] = 0;
    m_slotStops[slot].clear();
    m_slotFiles[slot].clear();
    m_slotHosts[slot].clear();
    SetSlotState(slot, SlotIdle);
}

int TScheduler::NextPendingRow() const
{
    if (m_jobs.PendingCount() == 0)
        return -1;
    for (int row = 0; row < m_jobs.RowCount(); ++row) {
        const QString message = m_jobs.Cell(row, SubMessage);
        if (!RowText::IsPending(message))
            continue;
        const TJobId id = m_jobs.JobAt(row);
        if (IsRunningJob(id))
            continue;
        // Only a row still showing "Retry" waits; one the user marked "Ready" goes at once.
        const auto retry = m_retries.constFind(id);
        if (message == RowText::Retry && retry != m_retries.constEnd()
            && (m_ticks < retry->readyTick || Clock() < retry->notBeforeMs))
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
    return m_jobs.LocalFile(row, ProgramFolder, m_settings.LongFileNames());
}

bool TScheduler::FileInUse(int row) const
{
    // The row's name is worked out only when some slot is writing: most ticks have none to compare.
    QString localFile;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (m_slotStates[slot] != SlotBusy)
            continue;
        if (localFile.isNull())
            localFile = LocalFileOf(row);
        if (m_slotFiles[slot] == localFile)
            return true;
    }
    return false;
}

void TScheduler::SetSlotState(int slot, int state)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    m_slotStates[slot] = state;
    emit SlotStateChanged(slot, state);
}

bool TScheduler::HandOut(int slot, int row)
{
    TWorkerJob job;
    job.JobId = m_jobs.JobAt(row);
    job.JobURL = m_jobs.Cell(row, SubURL);
    job.JobProxy = m_settings.Proxy;
    job.CAFile = m_settings.CAFile;
    job.JobReferer = m_settings.Ref.trimmed();
    if (job.JobReferer.isEmpty())
        job.JobReferer = UrlUtil::ParseCuURL(job.JobURL);
    job.HttpVersion = m_jobs.Cell(row, SubHttp);
    // An edited size that is not a number counts as unknown.
    if (!TJobListModel::ParseNumber(m_jobs.Cell(row, SubTByte), &job.TotalBytes))
        job.TotalBytes = 0;
    if (!PartRangeProblem(m_jobs, row, &job.StartByte, &job.EndByte).isEmpty()) {
        // A part whose range cannot be read would fetch the wrong bytes into its file.
        m_jobs.SetCell(row, SubMessage, PartRangeAbortText);
        return false;
    }
    // Only a part has an end; its size is where it ends, and its file the version the probe saw.
    if (job.EndByte > 0) {
        job.TotalBytes = job.EndByte;
        job.Version = THttpFileVersion::FromText(m_jobs.Version(row)).value_or(THttpFileVersion());
    }
    job.LocalFile = LocalFileOf(row);
    job.HeadCommand = HeadCommand;
    job.Size20KB = m_settings.Size20KB == 1;
    job.FollowRedirects = m_settings.FollowsRedirects();

    // "Ready" is a fresh start: the user's, a new row's or a loaded list's.
    if (m_jobs.Cell(row, SubMessage) == RowText::Ready)
        m_retries.remove(job.JobId);
    m_jobs.SetCaption(row, QString::number(slot));
    m_jobs.SetCell(row, SubMessage, QStringLiteral("Start"));
    m_jobs.SetCell(row, SubCount, QStringLiteral("0"));
    m_jobs.UpdateRowImage(row);
    m_slotJobs[slot] = job.JobId;
    m_slotStops[slot].clear();
    m_slotFiles[slot] = job.LocalFile;
    m_slotHosts[slot] = THostPacing::HostKey(job.JobURL);
    m_slotAnswered[slot] = false;
    m_pacing.NoteStart(m_slotHosts[slot], Clock(), m_settings.HostGap.Draw(Random()));
    SetSlotState(slot, SlotBusy);
    emit JobStarted(job.JobId, slot);
    m_workers[slot]->StartJob(job);
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
            m_slotAnswered[worker.SlotIndex] = true;
        emit HeadersReceived(code, worker.ResponseHeaders);
        return;
    default:
        break;
    }
    // A row deleted while its job ran has nowhere to write.
    const int row = m_jobs.RowOfJob(worker.Job.JobId);
    if (row < 0)
        return;
    switch (code) {
    case THTTPThread::UpdateSlot:
        m_jobs.SetCaption(row, QString::number(worker.SlotIndex));
        break;
    case THTTPThread::UpdateCByte:
        m_jobs.SetCell(row, SubCByte, QString::number(worker.ReceivedBytes));
        break;
    case THTTPThread::UpdateTByte:
        m_jobs.SetCell(row, SubTByte, QString::number(worker.Job.TotalBytes));
        break;
    case THTTPThread::UpdatePercent:
        if (const QString percent = worker.PercentText(); !percent.isEmpty())
            m_jobs.SetCell(row, SubPercent, percent);
        break;
    case THTTPThread::UpdateCTime:
        m_jobs.SetCell(row, SubCTime, TimeOfDay());
        break;
    case THTTPThread::UpdateSTime:
        m_jobs.SetCell(row, SubSTime, TimeOfDay());
        break;
    case THTTPThread::UpdateHttp:
        m_jobs.SetCell(row, SubHttp, worker.Job.HttpVersion);
        break;
    case THTTPThread::UpdateMessage:
        m_jobs.SetCell(row, SubMessage, worker.MessageText);
        break;
    case THTTPThread::UpdateFinished:
        m_jobs.SetCaption(row, RowText::FinishedCaption);
        break;
    default:
        return;
    }
    m_jobs.UpdateRowImage(row);
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
