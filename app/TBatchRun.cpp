#include "app/TBatchRun.h"

#include "core/TIniFile.h"
#include "core/TJobFile.h"
#include "core/TJobListFile.h"
#include "core/TListCommands.h"
#include "core/TMergeFiles.h"
#include "core/TProgramFolder.h"
#include "core/TUrlEntry.h"
#include "core/TUrlLines.h"
#include "download/RowTexts.h"
#include "download/UrlUtil.h"
#include "maker/MakeSequence.h"
#include "maker/THomeFetch.h"
#include "maker/TLinkImport.h"
#include "maker/TLinkTreeModel.h"
#include "maker/bmRegExp.h"
#include "viewer/SPIs.h"
#include "viewer/TCatalogueBuild.h"
#include "viewer/TPelFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <functional>

#include <unistd.h>

namespace {

constexpr int RedrawMs = 250;

// Why the parts of a split cannot be joined, "" when they can: the first part not complete, or one
// the server answered with another version of the file (*stale then tells).
QString MissingPart(const TJobListModel &jobs, const QList<int> &rows, const QStringList &parts, bool *stale)
{
    QString missing;
    for (int i = 0; i < rows.size(); ++i) {
        const QString message = jobs.Cell(rows[i], SubMessage);
        if (RowText::IsComplete(message) && QFileInfo(parts[i]).isFile())
            continue;
        const QString why = QStringLiteral("part %1: %2")
                                .arg(jobs.Cell(rows[i], SubDiv),
                                     RowText::IsComplete(message) ? QStringLiteral("file missing") : message);
        if (RowText::IsFileChanged(message)) {
            *stale = true;
            return why + QStringLiteral(" (the parts of the earlier version are removed)");
        }
        if (missing.isEmpty())
            missing = why;
    }
    return missing;
}

// A run stopped by ^C must not leave the terminal in the live block's colour.
int ResetFd = -1;
void ResetAndDie(int signal)
{
    static const char Reset[] = "\x1b[0m\n";
    if (write(ResetFd, Reset, sizeof Reset - 1) < 0) {
        // Nothing more can be done for the terminal on the way out.
    }
    std::raise(signal);
}

void GuardTerminal(int fd)
{
    ResetFd = fd;
    struct sigaction action {};
    action.sa_handler = ResetAndDie;
    // The signal's own action comes back at once, so the raise above ends the program as before.
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
}

} // namespace

TBatchRun::TBatchRun(const TBatchOptions &options, std::FILE *out, std::FILE *err, bool liveDisplay, bool colour)
    : FOptions(options)
    , FOut(out)
    , FErr(err)
    , FLive(liveDisplay && !options.quiet)
    , FColour(colour)
    , FDisplay(colour)
    , FScheduler(FJobs, FSettings)
{
    connect(&FScheduler, &TScheduler::JobEnded, this, &TBatchRun::OnJobEnded);
    connect(&FScheduler, &TScheduler::JobWaiting, this, &TBatchRun::OnJobWaiting);
    connect(&FScheduler, &TScheduler::HistoryProblem, this,
            [this](const QString &text) { Print(FErr, QStringLiteral("pelmor: %1\n").arg(text)); });
    FRedraw.setInterval(RedrawMs);
    connect(&FRedraw, &QTimer::timeout, this, &TBatchRun::Redraw);
}

TBatchRun::~TBatchRun() = default;

int TBatchRun::Run()
{
    if (!Prepare())
        return ExitUsage;
    for (int row = 0; row < FJobs.RowCount(); ++row)
        if (RowText::IsPending(FJobs.Cell(row, SubMessage)))
            FEligible.insert(FJobs.JobAt(row));

    QEventLoop loop;
    FLoop = &loop;
    connect(&FScheduler, &TScheduler::WorkFinished, &loop, &QEventLoop::quit);
    FScheduler.TButtonGetClick();
    if (FLive) {
        GuardTerminal(fileno(FOut));
        FRedraw.start();
    }
    // The first job need not wait a whole interval.
    QTimer::singleShot(0, &FScheduler, &TScheduler::Timer1Timer);
    loop.exec();
    FLoop = nullptr;
    FRedraw.stop();
    FScheduler.Shutdown();

    int complete = 0;
    for (int row = 0; row < FJobs.RowCount(); ++row)
        if (FEligible.contains(FJobs.JobAt(row)) && RowText::IsComplete(FJobs.Cell(row, SubMessage)))
            ++complete;
    if (FLive) {
        Write(FOut, FDisplay.Close(FFinishedLines, FDisplay.Summary(complete, int(FEligible.size()))));
        FFinishedLines.clear();
    }
    const bool merged = MergeSplits();
    // A list that cannot be saved does not keep the catalogue from being written, nor the reverse.
    bool written = true;
    QString error;
    if (!FOptions.saveFile.isEmpty() && !TJobListFile::SaveList(FJobs, FOptions.saveFile, &error)) {
        Print(FErr, QStringLiteral("pelmor: %1\n").arg(error));
        written = false;
    }
    if (!FOptions.catalogueFile.isEmpty() && !WriteCatalogue())
        written = false;
    if (!written)
        return ExitIncomplete;
    return complete == FEligible.size() && merged && !FSplitFailed && !FImportFailed && !FInputRefused ? ExitComplete
                                                                                                       : ExitIncomplete;
}

bool TBatchRun::Prepare()
{
    const QString iniFile = FOptions.iniFile.isEmpty() ? TSettings::DefaultFileName() : FOptions.iniFile;
    FSettings.Load(TIniFile(iniFile));
    if (FOptions.threads > 0)
        FSettings.Threads = FOptions.threads - 1;
    if (FOptions.interval > 0)
        FSettings.Interval = FOptions.interval;
    if (FOptions.timeOut >= 0)
        FSettings.TimeOutCTR = FOptions.timeOut;
    if (FOptions.location)
        FSettings.FollowRedirects = 1;
    if (FOptions.lazyImages)
        FSettings.LazyImages = 1;
    if (FOptions.skipDone)
        FSettings.SkipDone = 1;
    if (FOptions.duplicates >= 0)
        FSettings.Duplicates = FOptions.duplicates;
    if (FOptions.maxTries > 0)
        FSettings.MaxTries = FOptions.maxTries;
    else if (FSettings.MaxTries <= 0)
        FSettings.MaxTries = DefaultMaxTries;
    FScheduler.MaxWaitMs = qint64(FOptions.maxWait) * 1000;
    if (FOptions.startsPerTick > 0)
        FSettings.StartsPerTick = FOptions.startsPerTick;
    if (FOptions.hostLimit >= 0)
        FSettings.HostLimit = FOptions.hostLimit;
    if (FOptions.hostGap)
        FSettings.HostGap = *FOptions.hostGap;
    if (!FOptions.cookieFile.isEmpty())
        FSettings.CookieFile = FOptions.cookieFile;
    if (FOptions.netrc)
        FSettings.Netrc = 1;
    if (FOptions.limitRate)
        FSettings.RateLimit = *FOptions.limitRate;

    FScheduler.ProgramFolder = TProgramFolder::Resolve(FOptions.folder);
    if (TProgramFolder::PrepareTmp(FScheduler.ProgramFolder) == TProgramFolder::TTmpState::Failed) {
        Print(FErr, QStringLiteral("pelmor: cannot make the folder %1/tmp\n").arg(FScheduler.ProgramFolder));
        return false;
    }
    // Another run fetching into the same tmp would write the same partial files.
    if (!FTmpLock.Take(FScheduler.ProgramFolder)) {
        Print(FErr, QStringLiteral("pelmor: %1\n").arg(FTmpLock.Refusal()));
        return false;
    }
    // Cookies asked for but not loaded would fetch login pages in place of the files: nothing starts.
    bool cookiesRefused = false;
    for (const QString &warning : FScheduler.LoadRunFiles(&cookiesRefused))
        Print(FErr, QStringLiteral("pelmor: %1\n").arg(warning));
    if (cookiesRefused)
        return false;
    return AddSources();
}

bool TBatchRun::AddSources()
{
    for (const TBatchOptions::TSource &source : std::as_const(FOptions.sources)) {
        switch (source.kind) {
        case TBatchOptions::TSource::List: {
            const TJobListFile::TLoadReport report = TJobListFile::LoadList(
                FJobs, source.text,
                {MakeSequence::Offered, std::bind_front(&TBatchRun::TakeListMake, this, source.text)});
            if (!report.error.isEmpty()) {
                Print(FErr, QStringLiteral("pelmor: %1\n").arg(report.error));
                return false;
            }
            if (report.skippedLines > 0)
                Print(FErr, QStringLiteral("pelmor: %1: %2 bad lines skipped (lines %3)\n")
                                .arg(source.text)
                                .arg(report.skippedLines)
                                .arg(TJobListFile::SkippedLineNumbers(report)));
            RefuseBadRanges(source.text, FJobs.RowCount() - report.rows);
            break;
        }
        case TBatchOptions::TSource::Urls: {
            QFile file(source.text);
            if (!file.open(QIODevice::ReadOnly)) {
                Print(FErr, QStringLiteral("pelmor: %1: %2\n").arg(source.text, file.errorString()));
                return false;
            }
            TUrlLines::Read(file, [&](int number, const QString &url, const QString &refusal) {
                Take(QStringLiteral("%1:%2").arg(source.text).arg(number), url, refusal);
            });
            break;
        }
        case TBatchOptions::TSource::Make:
            TakeMade(QStringLiteral("--make"), source.make.pattern, source.make.start, source.make.end,
                     source.make.length);
            break;
        case TBatchOptions::TSource::Add:
            Take(QStringLiteral("--add"), source.text, TUrlEntry::Refusal(source.text));
            break;
        case TBatchOptions::TSource::Split:
            FSplitFailed = !AddSplit(source.text) || FSplitFailed;
            break;
        case TBatchOptions::TSource::Import:
            FImportFailed = !AddImport(source.text) || FImportFailed;
            break;
        }
    }
    return true;
}

void TBatchRun::Take(const QString &where, const QString &url, const QString &refusal)
{
    if (refusal.isEmpty()) {
        FJobs.AddJob(url, 0, 0, QString());
        return;
    }
    Print(FErr, QStringLiteral("pelmor: %1: %2\n").arg(where, refusal));
    FInputRefused = true;
}

void TBatchRun::TakeMade(const QString &where, const QString &pattern, int start, int end, int length)
{
    for (const QString &url : MakeSequence::Expand(pattern, start, end, length))
        Take(where, url, TUrlEntry::Refusal(url));
}

bool TBatchRun::TakeListMake(const QString &list, const QString &url, const QString &start, const QString &end,
                             const QString &length, const QString &step)
{
    MakeSequence::TRecord record;
    bool bad = false;
    if (MakeSequence::ReadRecord(url, start, end, length, step, &record, &bad))
        TakeMade(list, record.pattern, record.start, record.end, record.length);
    return !bad;
}

bool TBatchRun::Refused(const QString &where, const QString &url)
{
    const QString problem = UrlUtil::FetchProblem(url);
    if (!problem.isEmpty())
        Take(where, url, TUrlEntry::Quoted(url, problem));
    return !problem.isEmpty();
}

void TBatchRun::RefuseBadRanges(const QString &where, int firstRow)
{
    for (int row = firstRow; row < FJobs.RowCount(); ++row) {
        if (!RowText::IsPending(FJobs.Cell(row, SubMessage)))
            continue;
        const QString problem = TScheduler::PartRangeProblem(FJobs, row);
        if (problem.isEmpty())
            continue;
        FJobs.SetCell(row, SubMessage, TScheduler::PartRangeAbortText);
        const QString url = FJobs.Cell(row, SubURL);
        Take(where, url, TUrlEntry::Quoted(url, QStringLiteral("part %1: %2").arg(FJobs.Cell(row, SubDiv), problem)));
    }
}

bool TBatchRun::AddSplit(const QString &url)
{
    if (Refused(QStringLiteral("--split"), url))
        return true;
    THomeFetch probe(FJobs, FSettings);
    probe.ReadRunFiles = &FScheduler.RunFiles();
    if (probe.Split(url) > 0) {
        FSplits.append(url);
        return true;
    }
    // A probe that got no answer says why; one answered with the whole file cannot be split.
    const QString reason = probe.FailReason.isEmpty()
                               ? QStringLiteral("cannot be fetched in parts (%1)").arg(probe.StatusText)
                               : probe.FailReason;
    Print(FErr, QStringLiteral("pelmor: %1: %2\n").arg(url, reason));
    return false;
}

bool TBatchRun::AddImport(const QString &url)
{
    if (Refused(QStringLiteral("--import"), url))
        return true;
    THomeFetch fetch(FJobs, FSettings);
    fetch.ReadRunFiles = &FScheduler.RunFiles();
    TLinkTreeModel tree;
    TAWKStr awk;
    TLinkImport(FJobs, tree, awk).ImportPage(fetch, url, QPersistentModelIndex(), FSettings);
    // Depth first, as the tree lists them: a node, then its children, then its next sibling.
    const std::function<void(const QModelIndex &)> printBelow = [&](const QModelIndex &parent) {
        for (int row = 0; row < tree.rowCount(parent); ++row) {
            const QModelIndex node = tree.index(row, 0, parent);
            Print(FOut, TBatchDisplay::TreeLine(node.data().toString(), tree.Url(node)));
            printBelow(node);
        }
    };
    printBelow(QModelIndex());
    if (fetch.FailReason.isEmpty())
        return true;
    Print(FErr, QStringLiteral("pelmor: %1: %2\n").arg(url, fetch.FailReason));
    return false;
}

bool TBatchRun::MergeSplits()
{
    bool merged = true;
    const QString &folder = FScheduler.ProgramFolder;
    for (const QString &url : std::as_const(FSplits)) {
        QList<int> rows;
        for (int row = 0; row < FJobs.RowCount(); ++row)
            if (FJobs.Cell(row, SubURL) == url && !FJobs.Cell(row, SubDiv).isEmpty())
                rows.append(row);
        // The parts are named as the main window's merge command names them.
        const QStringList parts = TListCommands::LocalFiles(FJobs, rows, folder, FSettings.LongFileNames(), true);
        // A split whose rows are gone has nothing to join.
        if (rows.isEmpty())
            continue;
        const QString target = FJobs.LocalFile(rows.first(), folder, FSettings.LongFileNames(), false);
        // A missing part would leave a hole in the file: the parts stay for another run. Parts of a
        // version the server no longer has would pass for done in the next run's split: they go.
        bool stale = false;
        if (const QString missing = MissingPart(FJobs, rows, parts, &stale); !missing.isEmpty()) {
            if (stale)
                for (const QString &part : std::as_const(parts))
                    QFile::remove(part);
            Print(FErr, QStringLiteral("pelmor: %1: not merged: %2\n").arg(target, missing));
            merged = false;
            continue;
        }
        QString error = TListCommands::MergeRefusal(FJobs, rows);
        QByteArray sha256;
        if (!error.isEmpty() || !TMergeFiles::Merge(parts, target, &error, &sha256)) {
            Print(FErr, QStringLiteral("pelmor: %1: %2\n").arg(target, error));
            merged = false;
            continue;
        }
        FScheduler.RecordMerged(url, target, sha256);
        for (const QString &part : std::as_const(parts))
            QFile::remove(part);
        Tell(QStringLiteral("Merged\t%1\n").arg(target));
    }
    return merged;
}

bool TBatchRun::WriteCatalogue()
{
    QStringList files;
    for (int row = 0; row < FJobs.RowCount(); ++row) {
        const QString path = TJobFile::ExistingPath(FJobs, row, FScheduler.ProgramFolder, FSettings.LongFileNames());
        if (!path.isEmpty())
            files.append(path);
    }
    // Without its plug-ins the build still has the toolkit's formats.
    std::unique_ptr<TSPIs> decoders;
    try {
        decoders = MakeViewerDecoders();
    } catch (const ESPIError &e) {
        Print(FErr, QStringLiteral("pelmor: plug-ins: %1\n").arg(QString::fromStdString(e.what())));
    }
    TIconList icons;
    QStringList captions;
    TCatalogueBuild::Build(files, icons, captions);
    try {
        TPelFile::Save(FOptions.catalogueFile, icons, captions);
    } catch (const EPelFile &e) {
        Print(FErr, QStringLiteral("pelmor: %1\n").arg(QString::fromStdString(e.what())));
        return false;
    }
    Tell(QStringLiteral("Catalogue\t%1\t%2 icons\n").arg(FOptions.catalogueFile).arg(icons.Count()));
    return true;
}

void TBatchRun::OnJobEnded(quint64 jobId)
{
    // A job that ended "Retry" is the scheduler's to hand out again or to give up.
    const int row = FJobs.RowOfJob(jobId);
    if (row >= 0 && !RowText::IsPending(FJobs.Cell(row, SubMessage))) {
        ++FEnded;
        Report(row);
    }
    // The last job's end is the end of the run; no need to wait for the next tick to notice.
    if (FJobs.PendingCount() == 0 && !FScheduler.AnyJobRunning()) {
        FScheduler.TButtonStopClick();
        if (FLoop)
            FLoop->quit();
    }
}

void TBatchRun::OnJobWaiting(quint64 jobId, qint64 waitMs)
{
    const int row = FJobs.RowOfJob(jobId);
    if (row < 0 || FOptions.quiet)
        return;
    const QString line = TBatchDisplay::WaitLine((waitMs + 999) / 1000, FJobs.Cell(row, SubURL));
    // Above the live block, as finished lines scroll; made harmless as every printed line is.
    if (FLive)
        FFinishedLines.append(TBatchDisplay::PrintableLines(line));
    else
        Print(FOut, line);
}

void TBatchRun::Report(int row)
{
    const QString message = FJobs.Cell(row, SubMessage);
    const QString url = FJobs.Cell(row, SubURL);
    const bool complete = RowText::IsComplete(message);
    if (!complete)
        ++FFailed;
    if (FLive) {
        qint64 done = -1;
        TJobListModel::ParseNumber(FJobs.Cell(row, SubCByte), &done);
        FDisplay.JobEnded(FJobs.JobAt(row), done);
        FFinishedLines.append(FDisplay.FinishedLine(message, url, complete));
        return;
    }
    if (complete && FOptions.quiet)
        return;
    // A terminal gets the lines coloured; both are made harmless.
    if (FColour)
        Write(FOut, FDisplay.FinishedLine(message, url, complete));
    else
        Print(FOut, message + QLatin1Char('\t') + url + QLatin1Char('\n'));
}

void TBatchRun::Redraw()
{
    const QSize terminal = TBatchDisplay::TerminalSize(fileno(FOut));
    Write(FOut, FDisplay.Frame(FFinishedLines, RunningJobs(), {int(FEligible.size()), FEnded, FFailed},
                               terminal.width(), terminal.height()));
    FFinishedLines.clear();
}

QList<TLiveJob> TBatchRun::RunningJobs() const
{
    QList<TLiveJob> running;
    for (int slot = 0; slot < TScheduler::SlotCount; ++slot) {
        const int row = FJobs.RowOfJob(FScheduler.SlotJob(slot));
        if (row < 0)
            continue;
        TLiveJob job{FJobs.JobAt(row), FJobs.Caption(row), FJobs.Cell(row, SubURL), FJobs.Cell(row, SubMessage)};
        // A part counts from its own first byte; its size is its range.
        qint64 start = 0, end = 0, received = 0, total = 0;
        const bool part = TJobListModel::ParseNumber(FJobs.Cell(row, SubSBytes), &start)
                          && TJobListModel::ParseNumber(FJobs.Cell(row, SubEBytes), &end) && end > start;
        if (TJobListModel::ParseNumber(FJobs.Cell(row, SubCByte), &received) && received > (part ? start : 0))
            job.done = received - (part ? start : 0);
        if (part)
            job.size = end - start;
        else if (TJobListModel::ParseNumber(FJobs.Cell(row, SubTByte), &total) && total > 0)
            job.size = total;
        running.append(job);
    }
    return running;
}

void TBatchRun::Print(std::FILE *stream, const QString &text)
{
    Write(stream, TBatchDisplay::PrintableLines(text));
}

void TBatchRun::Write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void TBatchRun::Tell(const QString &text)
{
    if (!FOptions.quiet)
        Print(FOut, text);
}
