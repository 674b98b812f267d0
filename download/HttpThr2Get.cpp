// The download procedure of one job: HEAD, GET into the partial file, and what the answer means.
#include "download/HttpThr2.h"

#include "core/CaughtText.h"
#include "download/HttpNumber.h"
#include "download/HttpProt.h"
#include "download/HttpRetryAfter.h"
#include "download/HttpUrlParts.h"
#include "download/NetLog.h"
#include "download/TNoFollow.h"
#include "download/TRunFiles.h"
#include "download/UrlUtil.h"

#include <QBuffer>
#include <QFile>

#include <limits>
#include <optional>

namespace {
const QString Version11 = QStringLiteral("1.1");
constexpr qint64 SmallFileLimit = 20000;

// Size of the partial file, -1 when it cannot be opened for reading.
qint64 PartialSize(const QString &name)
{
    return UrlUtil::FileSize2(name);
}

// What is at the partial file's name, looked at without following a link; size: its size, -1 when
// there is no file to read.
TNoFollow::TResult ProbePartial(const QString &name, qint64 &size, QString *reason)
{
    QFile file;
    const TNoFollow::TResult found = TNoFollow::Open(file, name, QIODevice::ReadOnly, reason);
    size = found == TNoFollow::TResult::Done ? file.size() : -1;
    return found;
}

// How a request the client gave up on itself ends (an oversized or malformed answer, an https URL,
// a failed write); none for any other end. Asking again at once would not mend it.
std::optional<TRunOutcome> ClientFailure(const THttpCli &cli)
{
    if (!cli.ClientFailure())
        return std::nullopt;
    return TRunOutcome::Aborted(cli.ResponseReason());
}

// A refusal by the server that asking again will not change.
bool IsServerRefusal(int status)
{
    return status >= 400 && status < 500 && status != 408 && status != 429;
}

// A URL as a diagnostic line shows it: never with its user name or password.
QByteArray Shown(const QString &url)
{
    return THttpUrlParts::Parse(url).RequestUrl().toUtf8();
}
} // namespace

bool THTTPThread::RunRequest(bool head)
{
    FServerStatus = 0;
    FHeaderEndStatus = 0;
    bool ok = true;
    try {
        head ? HttpCli->Head() : HttpCli->Get();
    } catch (const EHttpException &) {
        // The client's own report: its status and reason are read below.
        ok = false;
    } catch (...) {
        qCWarning(lcNet, "%s raised: %s", Shown(Job.JobURL).constData(), qUtf8Printable(CaughtText()));
        ok = false;
    }
    // A reason found while the answer came in stays unless the client names one.
    if (const QString failure = HttpCli->FailureText(); !failure.isEmpty())
        FailureText = failure;
    const bool busy = FServerStatus == 429 || FServerStatus == 503;
    RetryAfterSecs = busy ? RetryAfterSeconds(HttpCli->RetryAfter(), QDateTime::currentDateTimeUtc()) : 0;
    return ok;
}

void THTTPThread::PrepareRequest()
{
    ReceivedBytes = 0;
    HttpCli->URL = Job.JobURL;
    HttpCli->Proxy = Job.JobProxy;
    HttpCli->CAFile = Job.CAFile;
    HttpCli->Reference = Job.JobReferer;
    HttpCli->FollowRedirects = Job.FollowRedirects;
    TRunFiles::SetLogin(*HttpCli, Job.Netrc.get(), FHost);
    HttpCli->RateLimit = Job.RateLimit;
    HttpCli->ContentRangeBegin.clear();
    HttpCli->ContentRangeEnd.clear();
    HttpCli->IfRange.clear();
    ContinueMode = false;
    DiscardPartial = false;
}

void THTTPThread::RunHead()
{
    PrepareRequest();
    FCookies.Forget(FHost);
    // The cookie of the last GET may belong to another host.
    HttpCli->Cookie.clear();
    QBuffer body;
    body.open(QIODevice::ReadWrite);
    HttpCli->ReceiveStream = &body;
    ShowMessage(QStringLiteral("Try>Get Headers!"));
    CurrentCommand = QStringLiteral("Head");
    RequestOk = RunRequest(true);
    HttpCli->ReceiveStream = nullptr;
    if (RequestOk)
        return;
    Job.TotalBytes = 0;
    if (const std::optional<TRunOutcome> failure = ClientFailure(*HttpCli); !Aborted && failure) {
        Aborted = true;
        FFinal = *failure;
    }
    // A stop of our own keeps its text: the client reports it as a 404.
    Show(Aborted && !FFinal.Text().isEmpty()
             ? FFinal
             : TRunOutcome::Of(TRunOutcome::TKind::HeadEnded, UrlUtil::HttpMsg(HttpCli->ResponseStatus())));
}

void THTTPThread::RunGet()
{
    PrepareRequest();
    HttpCli->Cookie = FCookies.ForRequest(FHost, UrlUtil::IsHttpsUrl(HttpCli->URL));
    FRangeUnusable = false;
    FFinal = {};
    ShowMessage(QStringLiteral("Try>Get Body!"));

    QFile partial(PartialFile());
    if (!PrepareGet(partial))
        return;
    // A part must come from the version its split saw: a server that has another sends the whole file.
    if (ContinueMode && Job.EndByte > 0)
        HttpCli->IfRange = Job.Version.IfRange();
    CurrentCommand = QStringLiteral("Get");
    FLastFlush.invalidate();
    HttpCli->ReceiveStream = &partial;
    RequestOk = RunRequest(false);
    FlushProgress();
    HttpCli->ReceiveStream = nullptr;
    partial.close();
    FinishGet();
}

bool THTTPThread::PrepareGet(QFile &partial)
{
    // Looked at without following a link: a link planted since the job began ends it here.
    QString reason;
    qint64 have = -1;
    const TNoFollow::TResult found = ProbePartial(PartialFile(), have, &reason);
    if (found == TNoFollow::TResult::Missing)
        have = 0;
    else if (found != TNoFollow::TResult::Done) {
        FileFailed(found, reason, QStringLiteral("the partial file cannot be read"));
        return false;
    }
    // An empty partial file, left by an attempt that received nothing, is no start to resume from:
    // this attempt starts afresh rather than end without asking the server.
    if (have > 0) {
        if (Job.StartByte + have == Job.TotalBytes) {
            CompletePartial(TRunOutcome::TKind::FileEnd);
            return false;
        }
        if (Job.HttpVersion == Version11) {
            if (!OpenPartial(partial, QIODevice::ReadWrite))
                return false;
            const bool part = Job.IsPart();
            if (!part)
                StartHash(&partial, have);
            if (!partial.seek(have)) {
                RetryLater(QLatin1String("the partial file cannot be opened: ") + partial.errorString());
                return false;
            }
            ReceivedBytes = Job.StartByte + have;
            HttpCli->ContentRangeBegin = QString::number(ReceivedBytes);
            // Without a known size the range stays open-ended rather than malformed.
            if (part)
                HttpCli->ContentRangeEnd = QString::number(Job.EndByte - 1);
            else if (Job.TotalBytes > 0)
                HttpCli->ContentRangeEnd = QString::number(Job.TotalBytes);
            ContinueMode = true;
            ShowMessage(QStringLiteral("Try>Continue!"));
            return true;
        }
    }
    // A part starting over still asks for its own bytes only.
    if (Job.EndByte > 0) {
        HttpCli->ContentRangeBegin = QString::number(Job.StartByte);
        HttpCli->ContentRangeEnd = QString::number(Job.EndByte - 1);
        ReceivedBytes = Job.StartByte;
        ContinueMode = true;
    } else {
        StartHash(nullptr, 0);
    }
    return OpenPartial(partial, QIODevice::WriteOnly | QIODevice::Truncate);
}

void THTTPThread::StartHash(QIODevice *partial, qint64 have)
{
    FBodyHash.Reset();
    QString reason;
    // A beginning that cannot be read now is read again, whole, when the file is complete.
    FHashing = !partial || FBodyHash.AddFrom(*partial, have, &reason);
}

void THTTPThread::HashCompleted()
{
    const QString name = PartialFile();
    const qint64 size = PartialSize(name);
    // A file found whole, or one whose beginning could not be read at the resume, is read once here.
    if (!FHashing || FBodyHash.Size() != size) {
        FBodyHash.Reset();
        QFile file;
        QString reason = QStringLiteral("it cannot be read");
        if (size < 0 || TNoFollow::Open(file, name, QIODevice::ReadOnly, &reason) != TNoFollow::TResult::Done
            || !FBodyHash.AddFrom(file, size, &reason)) {
            qCWarning(lcNet, "%s: no hash of %s: %s", Shown(Job.JobURL).constData(), qUtf8Printable(name),
                      qUtf8Printable(reason));
            FHashing = false;
            return;
        }
    }
    FileSha256 = FBodyHash.HexResult();
    FileSize = size;
    FHashing = false;
}

bool THTTPThread::OpenPartial(QFile &partial, QIODevice::OpenMode mode)
{
    QString reason;
    const TNoFollow::TResult opened = TNoFollow::Open(partial, PartialFile(), mode, &reason);
    if (opened != TNoFollow::TResult::Done)
        FileFailed(opened, reason, QStringLiteral("the partial file cannot be opened"));
    return opened == TNoFollow::TResult::Done;
}

bool THTTPThread::RefuseOtherVersion(qint64 answerTotal)
{
    if (Job.EndByte <= 0 || !Job.Version.Known())
        return false;
    QString reason = Job.Version.Difference(THttpFileVersion::FromAnswer(*HttpCli, answerTotal));
    // A whole file for a part: the server no longer has the validator we sent, or no longer splits.
    if (reason.isEmpty() && FHeaderEndStatus == 200)
        reason = Job.Version.IfRange().isEmpty() ? QStringLiteral("Whole file sent for a part")
                                                 : THttpFileVersion::ChangedPrefix + QStringLiteral("If-Range not met");
    if (reason.isEmpty())
        return false;
    Refuse(reason);
    return true;
}

void THTTPThread::FinishGet()
{
    const QString name = PartialFile();
    if (FinishUnsatisfiedRange())
        return;
    std::optional<TRunOutcome> refusal = ClientFailure(*HttpCli);
    if (!refusal && IsServerRefusal(FServerStatus))
        refusal = TRunOutcome::Aborted(UrlUtil::HttpMsg(FServerStatus));
    if (!Aborted && refusal) {
        Aborted = true;
        FFinal = *refusal;
        // Only the empty file of this attempt goes; bytes of an earlier one stay for a later resume.
        DiscardPartial = PartialSize(name) == 0;
    }
    if (DiscardPartial && QFile::exists(name)) {
        QFile::remove(name);
        ReceivedBytes = 0;
        ReportUpdate(UpdateCByte);
    }
    if (!FFinal.Text().isEmpty())
        Show(FFinal);
    if (Aborted)
        return;
    if (!QFile::exists(name)) {
        RetryLater(QStringLiteral("nothing was received"));
        return;
    }
    const qint64 have = PartialSize(name);
    if (have == 0 && EmptyFileAnnounced()) {
        CompletePartial(TRunOutcome::TKind::Completed);
        return;
    }
    if (have <= 0 || FRangeUnusable) {
        if (have == 0)
            QFile::remove(name);
        RetryLater(FRangeUnusable ? QStringLiteral("the server's range does not continue the file")
                                  : QStringLiteral("nothing was received"));
        return;
    }
    if (BodyEndedWithoutLength()) {
        Job.TotalBytes = have;
        ReportUpdates({UpdateTByte, UpdatePercent});
    }
    if (Job.StartByte + have == Job.TotalBytes) {
        CompletePartial(TRunOutcome::TKind::Completed);
        return;
    }
    // Only an HTTP/1.1 server can continue a short file; any other file starts over.
    const bool keep = Job.HttpVersion == Version11 ? have <= Job.TotalBytes : have == Job.TotalBytes;
    if (!keep)
        QFile::remove(name);
    if (Job.HttpVersion == Version11 || !keep)
        RetryLater(QStringLiteral("the answer ended before the whole file"));
}

bool THTTPThread::WholeAnswerEnded() const
{
    return FHeaderEndStatus == 200 && !ContinueMode && RequestOk && HttpCli->RequestDoneError() == 0 && !Job.IsPart();
}

bool THTTPThread::BodyEndedWithoutLength() const
{
    return WholeAnswerEnded() && Job.TotalBytes < 0;
}

bool THTTPThread::EmptyFileAnnounced() const
{
    return WholeAnswerEnded() && Job.TotalBytes == 0 && HttpCli->ResponseLength() == 0;
}

bool THTTPThread::FinishUnsatisfiedRange()
{
    const qint64 size = HttpCli->ContentRangeTotal();
    if (FServerStatus != 416 || !ContinueMode || Aborted || Job.IsPart() || size < 0)
        return false;
    const QString name = PartialFile();
    if (PartialSize(name) == size) {
        Job.TotalBytes = ReceivedBytes = size;
        ReportUpdates({UpdateCByte, UpdateTByte, UpdatePercent});
        CompletePartial(TRunOutcome::TKind::FileEnd);
        return true;
    }
    // Not the beginning of the file the server has now: the next attempt starts it over.
    QFile::remove(name);
    ReceivedBytes = 0;
    ReportUpdate(UpdateCByte);
    RetryLater(QStringLiteral("the server's file is not the one begun"));
    return true;
}

void THTTPThread::CompletePartial(TRunOutcome::TKind kind)
{
    // A part is not a whole file: its hash would tell nothing about the file it belongs to.
    if (!Job.IsPart())
        HashCompleted();
    QString reason;
    const TNoFollow::TResult moved = TNoFollow::Move(PartialFile(), Job.LocalFile, &reason);
    if (moved != TNoFollow::TResult::Done) {
        FileSha256.clear();
        FileFailed(moved, reason, QStringLiteral("the finished file cannot be renamed"));
        return;
    }
    RequestOk = true;
    qCDebug(lcNet, "%s completed as %s", Shown(Job.JobURL).constData(), qUtf8Printable(Job.LocalFile));
    // The run ends here: its last text goes with the end of the run, in one hand-off.
    SetShown(TRunOutcome::Of(kind));
    Defer({UpdateMessage}, [this] { FSink.ShowCompleted(*this); });
}

void THTTPThread::FileFailed(TNoFollow::TResult result, const QString &reason, const QString &what)
{
    if (result == TNoFollow::TResult::Refused)
        Show(TRunOutcome::Aborted(reason));
    else
        RetryLater(what + QLatin1String(": ") + reason);
}

void THTTPThread::RetryLater(const QString &why)
{
    if (FailureText.isEmpty())
        FailureText = why;
    qCDebug(lcNet, "%s to be asked again: %s", Shown(Job.JobURL).constData(), qUtf8Printable(FailureText));
    Show(TRunOutcome::Retry(FailureText));
}

void THTTPThread::HandleHeaderEnd()
{
    // Every cell the header decides goes to the row in one hand-off, once the size is known.
    TUpdateCodes codes;
    const QStringList headers = HttpCli->ResponseHeaders();
    if (!headers.isEmpty()) {
        Job.HttpVersion = headers.first().mid(5, 3);
        codes.append(UpdateHttp);
    }
    ContentType = HttpCli->ResponseType();
    SetShown(TRunOutcome::Of(TRunOutcome::TKind::Progress, QLatin1String("Try>Type : ") + ContentType));
    ResponseHeaders = headers;
    codes.append(UpdateMessage);
    codes.append(CurrentCommand == QLatin1String("Get") ? UpdateGetHeaders : UpdateHeadHeaders);
    FHeaderEndStatus = HttpCli->ResponseStatus();
    qCDebug(lcNet, "%s answered %d, length %lld", Shown(HttpCli->CurrentUrl()).constData(), FHeaderEndStatus,
            HttpCli->ResponseLength());
    if (FHeaderEndStatus == 200) {
        HandleStatus200();
    } else if (FHeaderEndStatus == 206) {
        HandleStatus206();
    } else {
        Refuse(UrlUtil::HttpMsg(FHeaderEndStatus));
    }
    codes.append(UpdateTByte);
    ReportUpdates(codes);
}

void THTTPThread::Refuse(const QString &reason)
{
    DiscardPartial = true;
    Aborted = true;
    FFinal = TRunOutcome::Aborted(reason);
    HttpCli->Abort();
}

void THTTPThread::HandleStatus200()
{
    if (RefuseOtherVersion(HttpCli->ResponseLength()))
        return;
    Job.TotalBytes = HttpCli->ResponseLength();
    // An announced empty file is a small file too; only an unannounced size goes unchecked.
    if (Job.Size20KB && Job.TotalBytes >= 0 && Job.TotalBytes < SmallFileLimit)
        Refuse(QStringLiteral("Size 20KB 未満"));
    // A range was asked for and the whole file comes: the next attempt starts from zero.
    if (ContinueMode) {
        HttpCli->Abort();
        DiscardPartial = true;
        FailureText = QStringLiteral("the server sent the whole file, not the rest asked for");
    }
}

void THTTPThread::HandleStatus206()
{
    const std::optional<qint64> begin = ParseHttpNumber(HttpCli->ContentRangeBegin);
    const std::optional<qint64> end = ParseHttpNumber(HttpCli->ContentRangeEnd);
    const qint64 length = HttpCli->ResponseLength();
    const qint64 total = HttpCli->ContentRangeTotal();
    const bool part = Job.EndByte > 0;
    // The body is appended where the file ends: a range that cannot be read whole, starts
    // elsewhere, disagrees with its length or reaches past the file (or the part) would corrupt it.
    const bool usable = begin && end && *begin <= *end && *end < std::numeric_limits<qint64>::max()
                        && *begin == ReceivedBytes && (length < 0 || length == *end - *begin + 1)
                        && (part ? *end < Job.EndByte : total < 0 || *end < total);
    if (!usable) {
        FRangeUnusable = true;
        HttpCli->Abort();
        return;
    }
    if (RefuseOtherVersion(total))
        return;
    // A shorter range than asked for leaves the rest to the next attempt, not a shorter file.
    Job.TotalBytes = part ? Job.EndByte : total >= 0 ? total : *end + 1;
}

void THTTPThread::HandleDocData(const char *data, int len)
{
    // Every piece delivered goes into the partial file: the hash follows the file without reading it back.
    if (FHashing)
        FBodyHash.Add(data, len);
    ReceivedBytes += len;
    NoteProgress(len);
    // Stop as soon as the announced size is in; this piece is still written.
    if (ReceivedBytes == Job.TotalBytes) {
        FFinal = TRunOutcome::Of(TRunOutcome::TKind::Progress, QStringLiteral("Full Size!"));
        HttpCli->Abort();
    }
}

void THTTPThread::HandleCookie(const QString &data)
{
    // A redirect's answer may come from another host, over another scheme: its cookie is that host's.
    const QString answered = HttpCli->CurrentUrl();
    FCookies.Store(THttpUrlParts::Parse(answered).Host.toLower(), data, UrlUtil::IsHttpsUrl(answered));
}
