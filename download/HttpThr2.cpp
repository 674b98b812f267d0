// The worker's thread, its job loop and how it reports to the GUI thread.
#include "download/HttpThr2.h"

#include "download/HttpProt.h"
#include "download/HttpUrlParts.h"
#include "download/TNoFollow.h"
#include "download/TRunFiles.h"
#include "download/UrlUtil.h"

#include <QFileInfo>
#include <QLocale>
#include <QTime>
#include <QTimer>

TWorkerSink::TWorkerSink(QObject *parent) : QObject(parent), FCalls(TThreadCall::Create(this)) {}

TWorkerSink::~TWorkerSink()
{
    FCalls->Close();
}

void TWorkerSink::CutOffWorkers()
{
    FCalls->Close();
    FCalls = TThreadCall::Create(this);
}

THTTPThread::THTTPThread(TWorkerSink &sink, QObject *parent)
    : QThread(parent)
    , FSink(sink)
    , FSinkThread(sink.thread())
    , FSinkCalls(sink.Calls())
    , FStopCalls(TThreadCall::Create(&FStopReceiver))
{
    FStopReceiver.moveToThread(this);
}

THTTPThread::~THTTPThread()
{
    // Whoever owns a worker lets it end first; a thread object must not go while its thread runs.
    if (!Shutdown(QDeadlineTimer(DestroyWaitMs)))
        wait();
}

void THTTPThread::Setup(int slot)
{
    SlotIndex = slot;
}

void THTTPThread::StartJob(const TWorkerJob &job)
{
    Job = job;
    FRunningJob = job.JobId;
    ++FRunSerial;
    FJobActive = true;
    FResume.Open();
}

void THTTPThread::RequestStop(quint64 jobId, const QString &finalMessage)
{
    if (!FJobActive || FRunningJob != jobId)
        return;
    const quint64 serial = FRunSerial;
    FStopCalls->Post([this, serial, finalMessage] { StopJob(serial, finalMessage); });
}

void THTTPThread::StopJob(quint64 serial, const QString &text)
{
    // Posted while one pass ran, delivered in a later one: the job it meant has ended.
    if (serial != FRunSerial || !FJobActive)
        return;
    Aborted = true;
    FFinal = TRunOutcome::Of(TRunOutcome::TKind::Stopped, text);
    HttpCli->Abort();
}

bool THTTPThread::Shutdown(QDeadlineTimer deadline)
{
    if (!isRunning())
        return wait(deadline);
    FTerminated = true;
    // A job still running ends at once; a parked worker has nothing to abort.
    FStopCalls->Post([this] {
        if (HttpCli)
            HttpCli->Abort();
    });
    FResume.Open();
    // The thread's last calls may wait for the very thread that waits here.
    if (QThread::currentThread() == FSinkThread)
        while (!FRunEnded.load(std::memory_order_acquire) && FSinkCalls->WaitAndRun(deadline)) {
        }
    if (!wait(deadline))
        return false;
    // QThread::wait() does not join the way race checkers see; this load orders everything the
    // thread did before whatever frees its memory next.
    (void)FRunEnded.load(std::memory_order_acquire);
    return true;
}

void THTTPThread::run()
{
    THttpCli cli;
    cli.Agent = QLatin1String(AgentText);
    // The status of the answer being read: after a redirect, the last one's.
    cli.OnHeaderData = [this](THttpCli *sender) { FServerStatus = sender->ResponseStatus(); };
    cli.OnHeaderEnd = [this](THttpCli *) { HandleHeaderEnd(); };
    cli.OnDocBegin = [this](THttpCli *) { ShowMessage(QStringLiteral("Doc begin")); };
    cli.OnDocData = [this](THttpCli *, const char *data, int len) { HandleDocData(data, len); };
    cli.OnDocEnd = [this](THttpCli *) { ShowMessage(QStringLiteral("Doc End")); };
    cli.OnCookie = [this](THttpCli *, const QString &data, bool &accept) {
        HandleCookie(data);
        accept = true;
    };
    cli.OnRequestCookie = [this](THttpCli *, const QString &url, QString &cookie) {
        cookie = TRunFiles::CookieFor(Job.Cookies.get(), url, cookie);
    };
    QTimer flush;
    flush.setSingleShot(true);
    connect(&flush, &QTimer::timeout, &flush, [this] { FlushProgress(); });
    HttpCli = &cli;
    FFlushTimer = &flush;

    for (;;) {
        FResume.Pass();
        if (FTerminated)
            break;
        RunJob();
        // Whatever the verdict, the server's wait goes with it: a stop may still make the run one to ask again.
        Outcome.WaitMs = RetryAfterSecs * 1000;
        FJobActive = false;
        ReportUpdates({}, [this] { FSink.FinishRun(*this); });
    }
    HttpCli = nullptr;
    FFlushTimer = nullptr;
    const std::shared_ptr<TThreadCall> calls = FSinkCalls;
    FRunEnded.store(true, std::memory_order_release);
    // Wakes a Shutdown that serves this thread's calls while it waits. Nothing of the worker is
    // touched after the store: it may be deleted as soon as Shutdown has seen it.
    calls->Post([] {});
}

void THTTPThread::RunJob()
{
    ReceivedBytes = 0;
    Aborted = false;
    RequestOk = true;
    RetryAfterSecs = 0;
    FailureText.clear();
    FFinal = {};
    Outcome = {};
    FileSha256.clear();
    FileSize = 0;
    FHashing = false;
    // A URL no attempt can fetch (an edited list's) ends the job for good, with the reason.
    if (const QString problem = UrlUtil::FetchProblem(Job.JobURL); !problem.isEmpty()) {
        Show(TRunOutcome::Aborted(problem));
        return;
    }
    FHost = THttpUrlParts::Parse(Job.JobURL).Host.toLower();
    // A link at the job's names would lead its file out of the folder: it ends the job, with the reason.
    for (const QString &name : {Job.LocalFile, PartialFile()})
        if (const QString refusal = TNoFollow::Refusal(name); !refusal.isEmpty()) {
            Show(TRunOutcome::Aborted(refusal));
            return;
        }
    if (QFileInfo::exists(Job.LocalFile)) {
        ReportExistingFile();
    } else {
        // Shown with the request's first text, which always follows.
        Defer({UpdateSlot, UpdateSTime});
        if (Job.HeadCommand)
            RunHead();
        if (!FTerminated && RequestOk && !Aborted)
            RunGet();
    }
}

void THTTPThread::ReportExistingFile()
{
    Show(TRunOutcome::Of(TRunOutcome::TKind::FileExists));
    Job.TotalBytes = ReceivedBytes = UrlUtil::FileSize2(Job.LocalFile);
    Job.StartByte = 0;
    ReportUpdates({UpdateCByte, UpdateTByte, UpdatePercent, UpdateCTime});
}

QString THTTPThread::PercentText() const
{
    const qint64 base = Job.EndByte != 0 ? Job.StartByte : 0;
    const qint64 span = Job.TotalBytes - base;
    if (Job.TotalBytes <= 0 || span <= 0)
        return {};
    const long double percent = static_cast<long double>(ReceivedBytes - base) / span * 100;
    const QString text = QString::asprintf("%1.2f", static_cast<double>(percent));
    // "100.00" tells a finished file; the last bytes of a large one must not round up to it.
    if (ReceivedBytes < Job.TotalBytes && text == QLatin1String("100.00"))
        return QStringLiteral("99.99");
    return text;
}

void THTTPThread::ShowMessage(const QString &message)
{
    Show(TRunOutcome::Of(TRunOutcome::TKind::Progress, message));
}

void THTTPThread::Show(const TRunOutcome &outcome)
{
    SetShown(outcome);
    ReportUpdate(UpdateMessage);
}

void THTTPThread::SetShown(const TRunOutcome &outcome)
{
    Outcome = outcome;
    MessageText = outcome.Text();
}

void THTTPThread::ReportUpdate(int code)
{
    ReportUpdates({code});
}

void THTTPThread::ReportUpdates(const TUpdateCodes &codes, std::function<void()> andThen)
{
    // What was deferred and progress still unshown go first, in the same hand-off: each one makes
    // the worker wait.
    TUpdateCodes all = std::exchange(FDeferred, {});
    std::vector<std::function<void()>> calls = std::exchange(FDeferredCalls, {});
    if (andThen)
        calls.push_back(std::move(andThen));
    if (FProgressPending) {
        FProgressPending = false;
        FFlushTimer->stop();
        FLastFlush.start();
        StatusBarText = QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat) + QLatin1String(" > ")
                        + QString::number(FLastPiece);
        for (const int code : {UpdateCByte, UpdatePercent, UpdateCTime, UpdateStatusBar})
            all.append(code);
    }
    all.append(codes.constData(), codes.size());
    if (all.isEmpty() && calls.empty())
        return;
    // Send returns only once the call ran or was dropped: what it refers to outlives it.
    FSinkCalls->Send([this, &all, &calls] {
        for (const int code : std::as_const(all))
            FSink.ApplyUpdate(*this, code);
        for (const std::function<void()> &call : calls)
            call();
    });
}

void THTTPThread::Defer(const TUpdateCodes &codes, std::function<void()> andThen)
{
    FDeferred.append(codes.constData(), codes.size());
    if (andThen)
        FDeferredCalls.push_back(std::move(andThen));
}

void THTTPThread::NoteProgress(int pieceLen)
{
    FLastPiece = pieceLen;
    FProgressPending = true;
    if (!FLastFlush.isValid() || FLastFlush.elapsed() >= FlushMs)
        FlushProgress();
    else if (!FFlushTimer->isActive())
        // A stalled body still shows its last count.
        FFlushTimer->start(static_cast<int>(FlushMs - FLastFlush.elapsed()));
}

void THTTPThread::FlushProgress()
{
    ReportUpdates({});
}
