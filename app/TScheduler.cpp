#include "TScheduler.h"

#include "LocalFileName.h"
#include "TSettings.h"
#include "UrlUtil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocale>
#include <QTime>

#include <algorithm>

const QString TScheduler::UserAbortText = QStringLiteral("処理を中断しました。");
const QString TScheduler::TimeOutText = QStringLiteral("Time Out!");

namespace {

constexpr int ShutdownWaitMs = 30000;

const QString Ready = QStringLiteral("Ready");
const QString Retry = QStringLiteral("Retry");

bool ParseBytes(const QString &text, qint64 *value)
{
    bool ok = false;
    *value = text.trimmed().toLongLong(&ok, 10);
    return ok;
}

QString TimeOfDay()
{
    return QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat);
}

} // namespace

TScheduler::TScheduler(TJobListModel &jobs, TSettings &settings, QObject *parent)
    : TWorkerSink(parent)
    , m_jobs(jobs)
    , m_settings(settings)
{
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
    for (int row = 0; row < m_jobs.RowCount(); ++row)
        AbortRow(row, UserAbortText);
}

void TScheduler::AbortRows(const QList<int> &rows)
{
    for (const int row : rows)
        AbortRow(row, UserAbortText);
}

void TScheduler::AbortRow(int row, const QString &text)
{
    if (!m_jobs.IsRunningRow(row))
        return;
    const int slot = m_jobs.Caption(row).toInt();
    if (slot >= 0 && slot < SlotCount && m_workers[slot])
        m_workers[slot]->RequestStop(m_jobs.JobAt(row), text);
}

void TScheduler::Shutdown()
{
    m_timer.stop();
    for (int slot = 0; slot < SlotCount; ++slot)
        if (m_slotStates[slot] == SlotBusy)
            m_workers[slot]->RequestStop(m_slotJobs[slot], UserAbortText);
    // The stopped workers still write their last cells through this thread, so keep it pumping.
    const QDeadlineTimer deadline(ShutdownWaitMs);
    while (std::find(m_slotStates.begin(), m_slotStates.end(), int(SlotBusy)) != m_slotStates.end()
           && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    for (THTTPThread *&worker : m_workers) {
        if (!worker)
            continue;
        worker->Shutdown();
        delete worker;
        worker = nullptr;
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

    MonitorJobs();
    const int highest = std::clamp(m_settings.Threads, 0, SlotCount - 1);
    for (int slot = 0; slot <= highest; ++slot) {
        if (m_slotStates[slot] == SlotNone)
            CreateWorker();
        if (m_slotStates[slot] != SlotIdle)
            continue;
        const int row = NextPendingRow();
        if (row < 0) {
            if (!AnySlotBusy()) {
                m_timer.stop();
                emit FetchingChanged(false);
                emit WorkFinished();
            }
            return;
        }
        HandOut(slot, row);
        return;
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

void TScheduler::MonitorJobs()
{
    const int limit = StallLimitPasses();
    for (int row = 0; row < m_jobs.RowCount(); ++row) {
        if (!m_jobs.IsRunningRow(row))
            continue;
        const QString received = m_jobs.Cell(row, SubCByte);
        if (received != m_jobs.Cell(row, SubBKey)) {
            m_jobs.SetCell(row, SubCount, QStringLiteral("0"));
        } else {
            const int count = m_jobs.Cell(row, SubCount).toInt() + 1;
            m_jobs.SetCell(row, SubCount, QString::number(count));
            const QString http = m_jobs.Cell(row, SubHttp);
            if ((http == QStringLiteral("1.1") || http == QStringLiteral("-")) && count > limit)
                AbortRow(row, TimeOutText);
        }
        m_jobs.SetCell(row, SubBKey, received);
    }
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
    SetSlotState(slot, SlotIdle);
}

bool TScheduler::IsPending(const QString &message)
{
    return message == Ready || message == Retry;
}

int TScheduler::NextPendingRow() const
{
    for (int row = 0; row < m_jobs.RowCount(); ++row) {
        if (IsPending(m_jobs.Cell(row, SubMessage)))
            return row;
    }
    return -1;
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
    job.JobReferer = m_settings.Ref.trimmed();
    if (job.JobReferer.isEmpty())
        job.JobReferer = UrlUtil::ParseCuURL(job.JobURL);
    job.HttpVersion = m_jobs.Cell(row, SubHttp);
    // An edited size that is not a number counts as unknown.
    if (!ParseBytes(m_jobs.Cell(row, SubTByte), &job.TotalBytes))
        job.TotalBytes = 0;
    const QString div = m_jobs.Cell(row, SubDiv);
    if (!div.isEmpty()) {
        if (!ParseBytes(m_jobs.Cell(row, SubSBytes), &job.StartByte)
            || !ParseBytes(m_jobs.Cell(row, SubEBytes), &job.EndByte) || job.EndByte <= job.StartByte) {
            // A part whose range cannot be read would fetch the wrong bytes into its file.
            m_jobs.SetCell(row, SubMessage, QStringLiteral("Abort>S Bytes / E Bytes"));
            return false;
        }
        job.TotalBytes = job.EndByte;
    }
    job.LocalFile = LocalFileName::For(ProgramFolder, job.JobURL, m_settings.LongFileNames(), div);
    job.HeadCommand = HeadCommand;
    job.Size20KB = m_settings.Size20KB == 1;

    m_jobs.SetCaption(row, QString::number(slot));
    m_jobs.SetCell(row, SubMessage, QStringLiteral("Start"));
    m_jobs.SetCell(row, SubCount, QStringLiteral("0"));
    m_jobs.UpdateRowImage(row);
    SetSlotState(slot, SlotBusy);
    m_slotJobs[slot] = job.JobId;
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
        m_jobs.SetCaption(row, QStringLiteral("@@"));
        break;
    default:
        return;
    }
    m_jobs.UpdateRowImage(row);
}

void TScheduler::FinishRun(THTTPThread &worker)
{
    WorkerIdle(worker.SlotIndex);
    ApplyUpdate(worker, THTTPThread::UpdateFinished);
    // A timed-out job goes back into the queue once its worker's own last writes are in.
    const int row = m_jobs.RowOfJob(worker.Job.JobId);
    if (row >= 0 && worker.Aborted && worker.FinalMessage == TimeOutText) {
        m_jobs.SetCell(row, SubMessage, Retry);
        m_jobs.SetCell(row, SubCount, QStringLiteral("0"));
    }
    emit JobEnded(worker.Job.JobId);
}

void TScheduler::ShowCompleted(THTTPThread &worker)
{
    emit FileCompleted(worker.Job.LocalFile);
}
