#pragma once

#include "download/HttpFileVersion.h"
#include "download/TCookieJar.h"
#include "download/THostCookies.h"
#include "download/TNetrc.h"
#include "download/TNoFollow.h"
#include "download/TResumeGate.h"
#include "download/TRunOutcome.h"
#include "download/TSha256.h"
#include "download/TThreadCall.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVarLengthArray>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QFile;
class QTimer;
class THttpCli;
class THTTPThread;
class TRateLimit;

// One job as the scheduler hands it to a worker.
struct TWorkerJob {
    quint64 JobId = 0; // identity of the job's row
    QString JobURL;
    QString JobProxy;
    QString JobReferer;
    QString CAFile;           // extra trust anchor for https servers; empty: the system's alone
    QString LocalFile;        // final local name; the partial file is this with "_" appended
    QString HttpVersion;      // the row's Http cell
    qint64 TotalBytes = 0;    // 0 when unknown; for a part job its end offset
    qint64 StartByte = 0;     // part start; 0 for a whole-file job
    qint64 EndByte = 0;       // part end, exclusive; 0 for a whole-file job
    THttpFileVersion Version; // a part's: the version of the file its split saw; unknown for lists of old
    bool HeadCommand = false; // send HEAD before GET
    bool Size20KB = true;     // refuse files under 20 000 bytes
    bool FollowRedirects = false;
    // The run's cookie file and .netrc, shared by every worker; null when not used.
    std::shared_ptr<const TCookieJar> Cookies;
    std::shared_ptr<const TNetrc> Netrc;
    TRateLimit *RateLimit = nullptr; // the cap the job's reads share with every other job's; none: no cap

    // A part of a split file, not a whole file.
    bool IsPart() const { return StartByte != 0 || EndByte != 0; }
};

// The GUI-thread side of the workers. Every call runs on this object's thread while the calling
// worker waits, so the worker's fields can be read without locks.
class TWorkerSink : public QObject
{
public:
    explicit TWorkerSink(QObject *parent = nullptr);
    // Lets every waiting worker go: nothing reaches this sink any more.
    ~TWorkerSink() override;

    // The channel through which workers made from now on call this sink.
    const std::shared_ptr<TThreadCall> &Calls() const { return FCalls; }

    // Writes the cell, panel or memo named by code (see THTTPThread::ReportUpdate).
    virtual void ApplyUpdate(THTTPThread &worker, int code) = 0;
    // End of a job, in one call with its outcome (THTTPThread::Outcome): the row shows "@@" and the
    // worker is free for its next job once this returns.
    virtual void FinishRun(THTTPThread &worker) = 0;
    // A file was completed: shown in the viewer when that is visible.
    virtual void ShowCompleted(THTTPThread &worker) = 0;

protected:
    // Closes the channel (late workers' calls are dropped) and opens a new one for later workers.
    void CutOffWorkers();

private:
    std::shared_ptr<TThreadCall> FCalls;
};

// A download worker: a thread with its own HTTP client that fetches one job at a time into its
// local file and parks between jobs.
class THTTPThread : public QThread
{
    Q_OBJECT
public:
    // Update codes: which cell, panel or memo the next GUI update writes.
    enum TUpdateCode {
        UpdateSlot = -1,
        UpdateCByte = 1,
        UpdateTByte = 2,
        UpdatePercent = 3,
        UpdateCTime = 4,
        UpdateSTime = 5,
        UpdateHttp = 6,
        UpdateMessage = 7,
        UpdateFinished = 99,
        UpdateStatusBar = 100,
        UpdateHeadHeaders = 200,
        UpdateGetHeaders = 201,
    };
    static constexpr const char *AgentText = "Mozilla/4.0 (compatible; MSIE 5.0; Windows 95; DigExt)";

    explicit THTTPThread(TWorkerSink &sink, QObject *parent = nullptr);
    ~THTTPThread() override;

    // Called once, before the first job.
    void Setup(int slot);
    // Scheduler side (GUI thread), only while the worker is parked: fills the job and resumes it.
    void StartJob(const TWorkerJob &job);
    // Any thread: stops the job jobId with this final message; ignored once that job has ended.
    void RequestStop(quint64 jobId, const QString &finalMessage);
    // Ends the thread: a running job is aborted. Calls to the sink made meanwhile are served when
    // this runs on the sink's thread. True once the thread is joined; false when the deadline came first.
    bool Shutdown(QDeadlineTimer deadline);

    // Job fields, as written by StartJob and by the worker; read by the sink during its calls.
    TWorkerJob Job;
    int SlotIndex = 0;
    qint64 ReceivedBytes = 0;
    // How the run stands, and once it has ended how it ended: what the scheduler decides on.
    TRunOutcome Outcome;
    // The row's Message as the run shows it: Outcome's text.
    QString MessageText;
    QString StatusBarText;
    QString ContentType;
    QStringList ResponseHeaders; // headers of the last answer, for the options dialog
    bool Aborted = false;
    bool RequestOk = true;
    // The SHA-256 (hex) and size of the whole file this run completed; empty for a part, a file that
    // was there before, and a run that completed nothing.
    QByteArray FileSha256;
    qint64 FileSize = 0;

    // Percent text of the current progress, "%1.2f"; empty when the size is not known.
    QString PercentText() const;

protected:
    void run() override;

private:
    void RunJob();
    void ReportExistingFile();
    void PrepareRequest();
    void RunHead();
    void RunGet();
    // Opens the partial file as the body's stream and sets the range; false when the job ended here.
    bool PrepareGet(QFile &partial);
    // Opens the partial file, never through a link; false, with the job's message shown, when it cannot.
    bool OpenPartial(QFile &partial, QIODevice::OpenMode mode);
    // The checks after the GET: which final text the job gets and what becomes of the partial file.
    void FinishGet();
    // Runs one synchronous request and waits for its end report; false when it raised.
    bool RunRequest(bool head);
    // A 200 answer to a whole-file request that ended in order.
    bool WholeAnswerEnded() const;
    // True when a 200 answer without a length ended in order: its body is the whole file.
    bool BodyEndedWithoutLength() const;
    // True when a 200 answer said "Content-Length: 0" and ended in order: the file is empty, and whole.
    bool EmptyFileAnnounced() const;
    // A resume answered 416 with the file's size ("bytes */N"): a partial file of that size is
    // complete, one of another size is removed for a fresh start. False when the answer was no such one.
    bool FinishUnsatisfiedRange();
    // Moves the partial file to its final name; kind: how the run then ends (Completed or FileEnd).
    void CompletePartial(TRunOutcome::TKind kind);
    // Ends the run to be asked again; why is kept unless the request already said.
    void RetryLater(const QString &why);
    // A job's file that could not be opened or renamed: a refusal (a link at its name) ends the job
    // with the reason, any other failure ends the run "Retry" with what failed and the reason.
    void FileFailed(TNoFollow::TResult result, const QString &reason, const QString &what);
    // Shows a progress text: the run has no verdict yet.
    void ShowMessage(const QString &message);
    // Makes outcome how the run stands and shows its text.
    void Show(const TRunOutcome &outcome);
    // Makes outcome how the run stands; its text is shown with the next UpdateMessage.
    void SetShown(const TRunOutcome &outcome);

    void HandleHeaderEnd();
    // Ends the job for good with this reason; what this answer wrote is not kept.
    void Refuse(const QString &reason);
    void HandleStatus200();
    void HandleStatus206();
    // A part whose answer is of another version than its split's ends for good; true when it did.
    bool RefuseOtherVersion(qint64 answerTotal);
    void HandleDocData(const char *data, int len);
    // Hashes the body from here on; a resumed file's first have bytes are read from partial first.
    void StartHash(QIODevice *partial, qint64 have);
    // Sets FileSha256 and FileSize of the whole partial file about to be renamed into place.
    void HashCompleted();
    void HandleCookie(const QString &data);
    void StopJob(quint64 serial, const QString &text);

    using TUpdateCodes = QVarLengthArray<int, 8>;
    // Writes through the sink in one hand-off: progress not yet shown, every code in order, then
    // andThen; returns at once, without running, once the sink has cut this worker off. Progress
    // codes go at most once per FlushMs.
    void ReportUpdates(const TUpdateCodes &codes, std::function<void()> andThen = {});
    // Codes and a call that go with the next hand-off, for what will not change before it.
    void Defer(const TUpdateCodes &codes, std::function<void()> andThen = {});
    void ReportUpdate(int code);
    void NoteProgress(int pieceLen);
    void FlushProgress();

    QString PartialFile() const { return Job.LocalFile + QLatin1Char('_'); }

    static constexpr int FlushMs = 50;
    static constexpr int DestroyWaitMs = 10000;

    TWorkerSink &FSink;
    QThread *FSinkThread;
    // Every sink call runs on the sink's thread while this worker waits.
    std::shared_ptr<TThreadCall> FSinkCalls;
    TResumeGate FResume;
    std::atomic<bool> FTerminated{false};
    // Which job a stop request may still reach: the serial of the running pass and its job.
    std::atomic<quint64> FRunSerial{0};
    std::atomic<quint64> FRunningJob{0};
    std::atomic<bool> FJobActive{false};
    std::atomic<bool> FRunEnded{false};
    // Stop requests are posted to the worker thread and run inside the client's loop.
    QObject FStopReceiver;
    std::shared_ptr<TThreadCall> FStopCalls;

    // Made on the worker thread in run().
    THttpCli *HttpCli = nullptr;
    QTimer *FFlushTimer = nullptr;

    QString CurrentCommand;
    QString FHost;         // host of the job's URL, the key of its cookie
    THostCookies FCookies; // last cookie received from each host
    bool ContinueMode = false;
    bool DiscardPartial = false;
    bool FRangeUnusable = false; // a 206 answer whose range cannot be placed in the file
    // What the run shows once its request has ended, set while it ran: a stop's text, a refusal,
    // or "Full Size!"; empty when none.
    TRunOutcome FFinal;
    // The wait a 429 or 503 answer asked for before the job is asked again, in seconds; 0 when none.
    qint64 RetryAfterSecs = 0;
    // Why the run ended without its file, in words, when it is to be asked again; a stop asked of
    // the job leaves it empty (the asker knows why).
    QString FailureText;
    int FServerStatus = 0;    // status line of the last answer, 0 when none arrived
    int FHeaderEndStatus = 0; // status of an answer whose header was complete

    TUpdateCodes FDeferred;
    std::vector<std::function<void()>> FDeferredCalls;
    // The partial file's bytes from its first, hashed as they are written; FHashing false when not.
    TSha256 FBodyHash;
    bool FHashing = false;

    bool FProgressPending = false;
    int FLastPiece = 0;
    QElapsedTimer FLastFlush;
};
