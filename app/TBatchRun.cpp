#include "app/TBatchRun.h"

#include "viewer/SPIs.h"
#include "viewer/TCatalogueBuild.h"
#include "core/TJobFile.h"
#include "viewer/TPelFile.h"
#include "download/RowTexts.h"
#include "maker/MakeSequence.h"
#include "maker/THomeFetch.h"
#include "core/TIniFile.h"
#include "core/TJobListFile.h"
#include "maker/TLinkImport.h"
#include "maker/TLinkTreeModel.h"
#include "maker/bmRegExp.h"
#include "core/TListCommands.h"
#include "core/TMergeFiles.h"
#include "core/TProgramFolder.h"
#include "core/TUrlEntry.h"
#include "core/TUrlLines.h"
#include "download/UrlUtil.h"

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
                                .arg(jobs.Cell(rows[i], SubDiv), RowText::IsComplete(message) ? QStringLiteral("file missing") : message);
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
    : m_options(options)
    , m_out(out)
    , m_err(err)
    , m_live(liveDisplay && !options.quiet)
    , m_colour(colour)
    , m_display(colour)
    , m_scheduler(m_jobs, m_settings)
{
    connect(&m_scheduler, &TScheduler::JobEnded, this, &TBatchRun::OnJobEnded);
    connect(&m_scheduler, &TScheduler::JobWaiting, this, &TBatchRun::OnJobWaiting);
    m_redraw.setInterval(RedrawMs);
    connect(&m_redraw, &QTimer::timeout, this, &TBatchRun::Redraw);
}

TBatchRun::~TBatchRun() = default;

int TBatchRun::Run()
{
    if (!Prepare())
        return ExitUsage;
    for (int row = 0; row < m_jobs.RowCount(); ++row)
        if (RowText::IsPending(m_jobs.Cell(row, SubMessage)))
            m_eligible.insert(m_jobs.JobAt(row));

    QEventLoop loop;
    m_loop = &loop;
    connect(&m_scheduler, &TScheduler::WorkFinished, &loop, &QEventLoop::quit);
    m_scheduler.TButtonGetClick();
    if (m_live) {
        GuardTerminal(fileno(m_out));
        m_redraw.start();
    }
    // The first job need not wait a whole interval.
    QTimer::singleShot(0, &m_scheduler, &TScheduler::Timer1Timer);
    loop.exec();
    m_loop = nullptr;
    m_redraw.stop();
    m_scheduler.Shutdown();

    int complete = 0;
    for (int row = 0; row < m_jobs.RowCount(); ++row)
        if (m_eligible.contains(m_jobs.JobAt(row)) && RowText::IsComplete(m_jobs.Cell(row, SubMessage)))
            ++complete;
    if (m_live) {
        Write(m_out, m_display.Close(m_finishedLines, m_display.Summary(complete, int(m_eligible.size()))));
        m_finishedLines.clear();
    }
    const bool merged = MergeSplits();
    // A list that cannot be saved does not keep the catalogue from being written, nor the reverse.
    bool written = true;
    QString error;
    if (!m_options.saveFile.isEmpty() && !TJobListFile::SaveList(m_jobs, m_options.saveFile, &error)) {
        Print(m_err, QStringLiteral("pelmor: %1\n").arg(error));
        written = false;
    }
    if (!m_options.catalogueFile.isEmpty() && !WriteCatalogue())
        written = false;
    if (!written)
        return ExitIncomplete;
    return complete == m_eligible.size() && merged && !m_splitFailed && !m_importFailed && !m_inputRefused
        ? ExitComplete
        : ExitIncomplete;
}

bool TBatchRun::Prepare()
{
    const QString iniFile = m_options.iniFile.isEmpty() ? TSettings::DefaultFileName() : m_options.iniFile;
    m_settings.Load(TIniFile(iniFile));
    if (m_options.threads > 0)
        m_settings.Threads = m_options.threads - 1;
    if (m_options.interval > 0)
        m_settings.Interval = m_options.interval;
    if (m_options.timeOut >= 0)
        m_settings.TimeOutCTR = m_options.timeOut;
    if (m_options.location)
        m_settings.FollowRedirects = 1;
    if (m_options.maxTries > 0)
        m_settings.MaxTries = m_options.maxTries;
    else if (m_settings.MaxTries <= 0)
        m_settings.MaxTries = DefaultMaxTries;
    m_scheduler.MaxWaitMs = qint64(m_options.maxWait) * 1000;
    if (m_options.startsPerTick > 0)
        m_settings.StartsPerTick = m_options.startsPerTick;
    if (m_options.hostLimit >= 0)
        m_settings.HostLimit = m_options.hostLimit;
    if (m_options.hostGap)
        m_settings.HostGap = *m_options.hostGap;

    m_scheduler.ProgramFolder = TProgramFolder::Resolve(m_options.folder);
    if (TProgramFolder::PrepareTmp(m_scheduler.ProgramFolder) == TProgramFolder::TTmpState::Failed) {
        Print(m_err, QStringLiteral("pelmor: cannot make the folder %1/tmp\n").arg(m_scheduler.ProgramFolder));
        return false;
    }
    // Another run fetching into the same tmp would write the same partial files.
    if (!m_tmpLock.Take(m_scheduler.ProgramFolder)) {
        Print(m_err, QStringLiteral("pelmor: %1\n").arg(m_tmpLock.Refusal()));
        return false;
    }
    return AddSources();
}

bool TBatchRun::AddSources()
{
    for (const TBatchOptions::TSource &source : std::as_const(m_options.sources)) {
        switch (source.kind) {
        case TBatchOptions::TSource::List: {
            const TJobListFile::TLoadReport report = TJobListFile::LoadList(
                m_jobs, source.text, {MakeSequence::Offered, std::bind_front(&TBatchRun::TakeListMake, this, source.text)});
            if (!report.error.isEmpty()) {
                Print(m_err, QStringLiteral("pelmor: %1\n").arg(report.error));
                return false;
            }
            if (report.skippedLines > 0)
                Print(m_err, QStringLiteral("pelmor: %1: %2 bad lines skipped (lines %3)\n")
                                 .arg(source.text)
                                 .arg(report.skippedLines)
                                 .arg(TJobListFile::SkippedLineNumbers(report)));
            RefuseBadRanges(source.text, m_jobs.RowCount() - report.rows);
            break;
        }
        case TBatchOptions::TSource::Urls: {
            QFile file(source.text);
            if (!file.open(QIODevice::ReadOnly)) {
                Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(source.text, file.errorString()));
                return false;
            }
            TUrlLines::Read(file, [&](int number, const QString &url, const QString &refusal) {
                Take(QStringLiteral("%1:%2").arg(source.text).arg(number), url, refusal);
            });
            break;
        }
        case TBatchOptions::TSource::Make:
            TakeMade(QStringLiteral("--make"), source.make.pattern, source.make.start, source.make.end, source.make.length);
            break;
        case TBatchOptions::TSource::Add:
            Take(QStringLiteral("--add"), source.text, TUrlEntry::Refusal(source.text));
            break;
        case TBatchOptions::TSource::Split:
            m_splitFailed = !AddSplit(source.text) || m_splitFailed;
            break;
        case TBatchOptions::TSource::Import:
            m_importFailed = !AddImport(source.text) || m_importFailed;
            break;
        }
    }
    return true;
}

void TBatchRun::Take(const QString &where, const QString &url, const QString &refusal)
{
    if (refusal.isEmpty()) {
        m_jobs.AddJob(url, 0, 0, QString());
        return;
    }
    Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(where, refusal));
    m_inputRefused = true;
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
    for (int row = firstRow; row < m_jobs.RowCount(); ++row) {
        if (!RowText::IsPending(m_jobs.Cell(row, SubMessage)))
            continue;
        const QString problem = TScheduler::PartRangeProblem(m_jobs, row);
        if (problem.isEmpty())
            continue;
        m_jobs.SetCell(row, SubMessage, TScheduler::PartRangeAbortText);
        const QString url = m_jobs.Cell(row, SubURL);
        Take(where, url, TUrlEntry::Quoted(url, QStringLiteral("part %1: %2").arg(m_jobs.Cell(row, SubDiv), problem)));
    }
}

bool TBatchRun::AddSplit(const QString &url)
{
    if (Refused(QStringLiteral("--split"), url))
        return true;
    THomeFetch probe(m_jobs, m_settings);
    if (probe.Split(url) > 0) {
        m_splits.append(url);
        return true;
    }
    // A probe that got no answer says why; one answered with the whole file cannot be split.
    const QString reason = probe.FailReason.isEmpty()
                               ? QStringLiteral("cannot be fetched in parts (%1)").arg(probe.StatusText)
                               : probe.FailReason;
    Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(url, reason));
    return false;
}

bool TBatchRun::AddImport(const QString &url)
{
    if (Refused(QStringLiteral("--import"), url))
        return true;
    THomeFetch fetch(m_jobs, m_settings);
    TLinkTreeModel tree;
    TAWKStr awk;
    TLinkImport(m_jobs, tree, awk).ImportPage(fetch, url, QPersistentModelIndex(), m_settings);
    // Depth first, as the tree lists them: a node, then its children, then its next sibling.
    const std::function<void(const QModelIndex &)> printBelow = [&](const QModelIndex &parent) {
        for (int row = 0; row < tree.rowCount(parent); ++row) {
            const QModelIndex node = tree.index(row, 0, parent);
            Print(m_out, TBatchDisplay::TreeLine(node.data().toString(), tree.Url(node)));
            printBelow(node);
        }
    };
    printBelow(QModelIndex());
    if (fetch.FailReason.isEmpty())
        return true;
    Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(url, fetch.FailReason));
    return false;
}

bool TBatchRun::MergeSplits()
{
    bool merged = true;
    const QString &folder = m_scheduler.ProgramFolder;
    for (const QString &url : std::as_const(m_splits)) {
        QList<int> rows;
        for (int row = 0; row < m_jobs.RowCount(); ++row)
            if (m_jobs.Cell(row, SubURL) == url && !m_jobs.Cell(row, SubDiv).isEmpty())
                rows.append(row);
        // The parts are named as the main window's merge command names them.
        const QStringList parts = TListCommands::LocalFiles(m_jobs, rows, folder, m_settings.LongFileNames(), true);
        // A split whose rows are gone has nothing to join.
        if (rows.isEmpty())
            continue;
        const QString target = m_jobs.LocalFile(rows.first(), folder, m_settings.LongFileNames(), false);
        // A missing part would leave a hole in the file: the parts stay for another run. Parts of a
        // version the server no longer has would pass for done in the next run's split: they go.
        bool stale = false;
        if (const QString missing = MissingPart(m_jobs, rows, parts, &stale); !missing.isEmpty()) {
            if (stale)
                for (const QString &part : std::as_const(parts))
                    QFile::remove(part);
            Print(m_err, QStringLiteral("pelmor: %1: not merged: %2\n").arg(target, missing));
            merged = false;
            continue;
        }
        QString error = TListCommands::MergeRefusal(m_jobs, rows);
        if (!error.isEmpty() || !TMergeFiles::Merge(parts, target, &error)) {
            Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(target, error));
            merged = false;
            continue;
        }
        for (const QString &part : std::as_const(parts))
            QFile::remove(part);
        Tell(QStringLiteral("Merged\t%1\n").arg(target));
    }
    return merged;
}

bool TBatchRun::WriteCatalogue()
{
    QStringList files;
    for (int row = 0; row < m_jobs.RowCount(); ++row) {
        const QString path = TJobFile::ExistingPath(m_jobs, row, m_scheduler.ProgramFolder, m_settings.LongFileNames());
        if (!path.isEmpty())
            files.append(path);
    }
    // Without its plug-ins the build still has the toolkit's formats.
    std::unique_ptr<TSPIs> decoders;
    try {
        decoders = MakeViewerDecoders();
    } catch (const ESPIError &e) {
        Print(m_err, QStringLiteral("pelmor: plug-ins: %1\n").arg(QString::fromStdString(e.what())));
    }
    TIconList icons;
    QStringList captions;
    TCatalogueBuild::Build(files, icons, captions);
    try {
        TPelFile::Save(m_options.catalogueFile, icons, captions);
    } catch (const EPelFile &e) {
        Print(m_err, QStringLiteral("pelmor: %1\n").arg(QString::fromStdString(e.what())));
        return false;
    }
    Tell(QStringLiteral("Catalogue\t%1\t%2 icons\n").arg(m_options.catalogueFile).arg(icons.Count()));
    return true;
}

void TBatchRun::OnJobEnded(quint64 jobId)
{
    // A job that ended "Retry" is the scheduler's to hand out again or to give up.
    const int row = m_jobs.RowOfJob(jobId);
    if (row >= 0 && !RowText::IsPending(m_jobs.Cell(row, SubMessage))) {
        ++m_ended;
        Report(row);
    }
    // The last job's end is the end of the run; no need to wait for the next tick to notice.
    if (m_jobs.PendingCount() == 0 && !m_scheduler.AnyJobRunning()) {
        m_scheduler.TButtonStopClick();
        if (m_loop)
            m_loop->quit();
    }
}

void TBatchRun::OnJobWaiting(quint64 jobId, qint64 waitMs)
{
    const int row = m_jobs.RowOfJob(jobId);
    if (row < 0 || m_options.quiet)
        return;
    const QString line = TBatchDisplay::WaitLine((waitMs + 999) / 1000, m_jobs.Cell(row, SubURL));
    // Above the live block, as finished lines scroll; made harmless as every printed line is.
    if (m_live)
        m_finishedLines.append(TBatchDisplay::PrintableLines(line));
    else
        Print(m_out, line);
}

void TBatchRun::Report(int row)
{
    const QString message = m_jobs.Cell(row, SubMessage);
    const QString url = m_jobs.Cell(row, SubURL);
    const bool complete = RowText::IsComplete(message);
    if (!complete)
        ++m_failed;
    if (m_live) {
        qint64 done = -1;
        TJobListModel::ParseNumber(m_jobs.Cell(row, SubCByte), &done);
        m_display.JobEnded(m_jobs.JobAt(row), done);
        m_finishedLines.append(m_display.FinishedLine(message, url, complete));
        return;
    }
    if (complete && m_options.quiet)
        return;
    // A terminal gets the lines coloured; both are made harmless.
    if (m_colour)
        Write(m_out, m_display.FinishedLine(message, url, complete));
    else
        Print(m_out, message + QLatin1Char('\t') + url + QLatin1Char('\n'));
}

void TBatchRun::Redraw()
{
    const QSize terminal = TBatchDisplay::TerminalSize(fileno(m_out));
    Write(m_out, m_display.Frame(m_finishedLines, RunningJobs(), {int(m_eligible.size()), m_ended, m_failed},
                                 terminal.width(), terminal.height()));
    m_finishedLines.clear();
}

QList<TLiveJob> TBatchRun::RunningJobs() const
{
    QList<TLiveJob> running;
    for (int slot = 0; slot < TScheduler::SlotCount; ++slot) {
        const int row = m_jobs.RowOfJob(m_scheduler.SlotJob(slot));
        if (row < 0)
            continue;
        TLiveJob job{m_jobs.JobAt(row), m_jobs.Caption(row), m_jobs.Cell(row, SubURL), m_jobs.Cell(row, SubMessage)};
        // A part counts from its own first byte; its size is its range.
        qint64 start = 0, end = 0, received = 0, total = 0;
        const bool part = TJobListModel::ParseNumber(m_jobs.Cell(row, SubSBytes), &start)
            && TJobListModel::ParseNumber(m_jobs.Cell(row, SubEBytes), &end) && end > start;
        if (TJobListModel::ParseNumber(m_jobs.Cell(row, SubCByte), &received) && received > (part ? start : 0))
            job.done = received - (part ? start : 0);
        if (part)
            job.size = end - start;
        else if (TJobListModel::ParseNumber(m_jobs.Cell(row, SubTByte), &total) && total > 0)
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
    if (!m_options.quiet)
        Print(m_out, text);
}
