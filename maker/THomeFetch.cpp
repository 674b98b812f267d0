#include "maker/THomeFetch.h"

#include "core/TJobListModel.h"
#include "core/TScheduler.h"
#include "core/TSettings.h"
#include "download/HttpFileVersion.h"
#include "download/HttpUrlParts.h"
#include "download/TRateLimit.h"
#include "download/UrlUtil.h"
#include "maker/MakerLog.h"

#include <QBuffer>
#include <QScopeGuard>

#include <algorithm>
#include <limits>

THomeFetch::THomeFetch(TJobListModel &jobs, const TSettings &settings, QObject *parent)
    : QObject(parent), FJobs(jobs), FSettings(settings)
{
    HttpCli1.OnHeaderEnd = [this](THttpCli *sender) { HttpCli1HeaderEnd(sender); };
    HttpCli1.OnDocBegin = [this](THttpCli *sender) { HttpCli1DocBegin(sender); };
    HttpCli1.OnDocData = [this](THttpCli *sender, const char *buffer, int len) {
        HttpCli1DocData(sender, buffer, len);
    };
    HttpCli1.OnDocEnd = [this](THttpCli *sender) { HttpCli1DocEnd(sender); };
    HttpCli1.OnStateChange = [this](THttpCli *) { FStallTimer.start(); };
    HttpCli1.OnHeaderData = [this](THttpCli *) { FStallTimer.start(); };
    HttpCli1.OnRequestCookie = [this](THttpCli *, const QString &url, QString &cookie) {
        cookie = TRunFiles::CookieFor(FRunFiles.cookies.get(), url, cookie);
    };
    FStallTimer.setSingleShot(true);
    connect(&FStallTimer, &QTimer::timeout, this, &THomeFetch::StallTimerTimer);
}

QList<THomeFetch::TPart> THomeFetch::MakeParts(qint64 total)
{
    QList<TPart> parts;
    const qint64 size = total / PartCount + 1;
    qint64 end = 0;
    while (end < total) {
        const qint64 start = end;
        // Compared before adding, so a total near the top of the range cannot overflow.
        end = total - end < size ? total : end + size;
        parts.append({start, end, QString::asprintf("%3.3d", int(parts.size()) + 1)});
    }
    return parts;
}

int THomeFetch::Split(const QString &url)
{
    LastStatus = 0;
    SetStatus(QStringLiteral("Doc begin"));
    HttpCli1.Reference = FSettings.Ref.isEmpty() ? UrlUtil::ParseCuURL(url) : FSettings.Ref;
    HttpCli1.ContentRangeBegin = QStringLiteral("1");
    HttpCli1.ContentRangeEnd = QStringLiteral("1");
    RangeExpected = true;
    // The probe's body is one byte; anything beyond a little is not what was asked for.
    if (!Run(url, MaxNoticeBytes))
        return 0;
    if (!RangeExpected) {
        SetStatus(QStringLiteral("分割不可！"));
        return 0;
    }
    // A probe that got no answer says what happened, not the status it never received.
    SetStatus(FailReason.isEmpty() ? UrlUtil::HttpMsg(LastStatus) : FailReason);
    const QStringList headers = HttpCli1.ResponseHeaders();
    emit HeadersReceived(headers);
    QString headerText;
    for (const QString &line : headers)
        headerText += line + QStringLiteral("\r\n");
    const qint64 total = UrlUtil::GetLength(headerText);
    // Every part is to come from the version of the file this answer belongs to.
    const QString version = THttpFileVersion::FromAnswer(HttpCli1, total).ToText();
    int added = 0;
    for (const TPart &part : MakeParts(total))
        if (FJobs.AddJob(url, part.start, part.end, part.name, version) >= 0)
            ++added;
    return added;
}

bool THomeFetch::FetchPage(const QString &url)
{
    PageURL = url;
    const bool scan = FetchWhole(url, MaxPageBytes, QStringLiteral("Doc Begin"));
    // The page's links are relative to where it was found, after any redirect.
    PageURL = HttpCli1.CurrentUrl();
    return scan;
}

bool THomeFetch::FetchNotice(const QString &url)
{
    LastStatus = 0;
    if (!FetchWhole(url, MaxNoticeBytes, QStringLiteral("Doc begin")))
        return false;
    const qsizetype zero = PageText.indexOf('\0');
    if (zero >= 0)
        PageText.truncate(zero);
    return true;
}

bool THomeFetch::FetchWhole(const QString &url, qint64 cap, const QString &beginText)
{
    SetStatus(beginText);
    HttpCli1.ContentRangeBegin.clear();
    HttpCli1.ContentRangeEnd.clear();
    RangeExpected = false;
    if (!Run(url, cap))
        return false;
    SetStatus(UrlUtil::HttpMsg(LastStatus));
    emit HeadersReceived(HttpCli1.ResponseHeaders());
    return true;
}

bool THomeFetch::Run(const QString &url, qint64 cap)
{
    FFetching = true;
    emit FetchingChanged(true);
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    // However the fetch is left, the window must never keep its buttons disabled.
    const auto end = qScopeGuard([this] {
        FStallTimer.stop();
        HttpCli1.ReceiveStream = nullptr;
        FLampRed = false;
        emit LampChanged(false);
        FFetching = false;
        emit FetchingChanged(false);
    });

    StopRequested = false;
    FTimedOut = false;
    FailReason.clear();
    PageText.clear();
    // A page behind a login is fetched as the downloads are: with the cookie file and the .netrc, read
    // anew for each fetch of the window (a broken one is logged; the main window reports it when
    // fetching starts) or as the batch run read them once.
    FRunFiles = ReadRunFiles ? *ReadRunFiles : TRunFiles::Load(FSettings.CookieFile, FSettings.UsesNetrc());
    TRunFiles::SetLogin(HttpCli1, FRunFiles.netrc.get(), THttpUrlParts::Parse(url).Host.toLower());
    // The cap is the whole program's: a page or a probe takes its share beside the downloads, from
    // the settings as they are now (a batch import comes before the scheduler's first tick sets it).
    TRateLimit::Program().SetBytesPerSecond(FSettings.RateLimit.BytesPerSecond);
    HttpCli1.RateLimit = &TRateLimit::Program();
    HttpCli1.URL = url;
    HttpCli1.Proxy = FSettings.Proxy;
    HttpCli1.CAFile = FSettings.CAFile;
    HttpCli1.FollowRedirects = FSettings.FollowsRedirects();
    HttpCli1.ReceiveStream = &stream;
    ExpectedSize = 0;
    FetchedBytes = 0;
    FCap = cap;
    FStallTimer.start(StallTimeOutMs());
    try {
        HttpCli1.Get();
    } catch (const EHttpException &e) {
        qCDebug(lcMaker, "the page fetch ended: %s", e.what());
        SetStatus(QStringLiteral("Disconnected"));
        // Our own abort ends a whole answer at its end, or one whose status was already told.
        if (FailReason.isEmpty())
            FailReason = HttpCli1.FailureText();
    } catch (const std::exception &fault) {
        // Not the client's own report: say what happened and drop the result.
        SetStatus(QStringLiteral("Error: ") + QString::fromLocal8Bit(fault.what()));
        FailReason = StatusText;
        return false;
    }
    if (FTimedOut) {
        SetStatus(TScheduler::TimeOutText);
        return false;
    }
    if (HttpCli1.RequestDoneError() == httpErrBodyCut)
        FailReason = HttpCli1.FailureText();
    PageText = stream.data().left(cap);
    return !StopRequested;
}

void THomeFetch::Stop()
{
    StopRequested = true;
    HttpCli1.Abort();
}

void THomeFetch::AbortForClose()
{
    if (FFetching)
        HttpCli1.Abort();
}

int THomeFetch::StallTimeOutMs() const
{
    // The scheduler's stall limit in seconds, within what a timer can wait.
    return int(std::clamp<qint64>(qint64(FSettings.TimeOutCTR) * 1000, 1000, std::numeric_limits<int>::max()));
}

void THomeFetch::StallTimerTimer()
{
    if (!FFetching)
        return;
    FTimedOut = true;
    FailReason = TScheduler::StallReason(StallTimeOutMs() / 1000);
    HttpCli1.Abort();
}

void THomeFetch::SetStatus(const QString &text)
{
    StatusText = text;
    emit StatusTextChanged(text);
}

void THomeFetch::HttpCli1HeaderEnd(THttpCli *sender)
{
    LastStatus = sender->ResponseStatus();
    if (LastStatus == 200) {
        ExpectedSize = sender->ResponseLength();
        if (RangeExpected) {
            // A whole document in answer to a range probe: the server does not split.
            RangeExpected = false;
            sender->Abort();
        }
    } else if (LastStatus == 206) {
        bool ok = false;
        const qint64 first = sender->ContentRangeBegin.toLongLong(&ok);
        qint64 expected = 0;
        if (!ok || first < 0 || __builtin_add_overflow(first, sender->ResponseLength(), &expected))
            expected = 0;
        ExpectedSize = expected;
        RangeExpected = true;
    } else {
        // A redirect the client did not follow, or a failure: nothing to read.
        RangeExpected = false;
        SetStatus(UrlUtil::HttpMsg(LastStatus));
        FailReason = StatusText;
        sender->Abort();
    }
}

void THomeFetch::HttpCli1DocBegin(THttpCli *)
{
    SetStatus(QStringLiteral("Doc begin"));
}

void THomeFetch::HttpCli1DocData(THttpCli *sender, const char *, int len)
{
    FetchedBytes += len;
    if (ExpectedSize <= 0)
        SetStatus(QStringLiteral("Total %1 Bytes.").arg(FetchedBytes));
    else
        SetStatus(QString::asprintf("%1.2f", double(FetchedBytes) / double(ExpectedSize) * 100.0) + QLatin1Char('%'));
    FStallTimer.start();
    FLampRed = !FLampRed;
    emit LampChanged(FLampRed);
    // Also ends the request on a server that keeps the connection open.
    if (StatusText == QLatin1String("100.00%") || FetchedBytes >= FCap)
        sender->Abort();
}

void THomeFetch::HttpCli1DocEnd(THttpCli *)
{
    SetStatus(QStringLiteral("Doc End"));
}
