#include "TBatchRun.h"

#include "SPIs.h"
#include "TCatalogueBuild.h"
#include "TJobFile.h"
#include "TPelFile.h"
#include "LocalFileName.h"
#include "MakeSequence.h"
#include "THomeFetch.h"
#include "TIniFile.h"
#include "TJobListFile.h"
#include "TListCommands.h"
#include "TMergeFiles.h"
#include "TProgramFolder.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>

namespace {

constexpr int RedrawMs = 250;

bool Complete(const QString &message)
{
    return message == QStringLiteral("End>Completed!") || message == QStringLiteral("End>File End!")
        || message == QStringLiteral("ファイルが存在します。");
}

// A list's "MAKE=" line, read as the Home window reads it.
bool MakeFromRecord(TJobListModel &jobs, const QString &url, const QString &start, const QString &end,
                    const QString &length, const QString &step)
{
    MakeSequence::TRecord record;
    bool bad = false;
    if (MakeSequence::ReadRecord(url, start, end, length, step, &record, &bad))
        MakeSequence::AddTo(jobs, record.pattern, record.start, record.end, record.length);
    return !bad;
}

} // namespace

TBatchRun::TBatchRun(const TBatchOptions &options, std::FILE *out, std::FILE *err, bool liveDisplay)
    : m_options(options)
    , m_out(out)
    , m_err(err)
    , m_live(liveDisplay)
    , m_scheduler(m_jobs, m_settings)
{
    connect(&m_scheduler, &TScheduler::JobEnded, this, &TBatchRun::OnJobEnded);
    m_redraw.setInterval(RedrawMs);
    connect(&m_redraw, &QTimer::timeout, this, &TBatchRun::Redraw);
}

TBatchRun::~TBatchRun() = default;

int TBatchRun::Run()
{
    if (!Prepare())
        return ExitUsage;
    for (int row = 0; row < m_jobs.RowCount(); ++row)
        if (TJobListModel::IsPendingMessage(m_jobs.Cell(row, SubMessage)))
            m_eligible.insert(m_jobs.JobAt(row));

    QEventLoop loop;
    m_loop = &loop;
    connect(&m_scheduler, &TScheduler::WorkFinished, &loop, &QEventLoop::quit);
    m_scheduler.TButtonGetClick();
    if (m_live)
        m_redraw.start();
    // The first job need not wait a whole interval.
    QTimer::singleShot(0, &m_scheduler, &TScheduler::Timer1Timer);
    loop.exec();
    m_loop = nullptr;
    m_redraw.stop();
    m_scheduler.Shutdown();
    if (m_live)
        Redraw();

    int complete = 0;
    for (int row = 0; row < m_jobs.RowCount(); ++row)
        if (m_eligible.contains(m_jobs.JobAt(row)) && Complete(m_jobs.Cell(row, SubMessage)))
            ++complete;
    if (m_live)
        Print(m_out, QStringLiteral("%1 of %2 complete\n").arg(complete).arg(m_eligible.size()));
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
    return complete == m_eligible.size() && merged && !m_splitFailed ? ExitComplete : ExitIncomplete;
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

    m_scheduler.ProgramFolder = TProgramFolder::Resolve(m_options.folder);
    if (TProgramFolder::PrepareTmp(m_scheduler.ProgramFolder) == TProgramFolder::TTmpState::Failed) {
        Print(m_err, QStringLiteral("pelmor: cannot make the folder %1/tmp\n").arg(m_scheduler.ProgramFolder));
        return false;
    }
    return AddSources();
}

bool TBatchRun::AddSources()
{
    for (const TBatchOptions::TSource &source : std::as_const(m_options.sources)) {
        switch (source.kind) {
        case TBatchOptions::TSource::List: {
            const TJobListFile::TLoadReport report
                = TJobListFile::LoadList(m_jobs, source.text, std::bind_front(MakeFromRecord, std::ref(m_jobs)));
            if (!report.error.isEmpty()) {
                Print(m_err, QStringLiteral("pelmor: %1\n").arg(report.error));
                return false;
            }
            if (report.skippedLines > 0)
                Print(m_err, QStringLiteral("pelmor: %1: %2 bad lines skipped (lines %3)\n")
                                 .arg(source.text)
                                 .arg(report.skippedLines)
                                 .arg(TJobListFile::SkippedLineNumbers(report)));
            break;
        }
        case TBatchOptions::TSource::Urls: {
            QFile file(source.text);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
                Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(source.text, file.errorString()));
                return false;
            }
            while (!file.atEnd()) {
                const QString url = QString::fromUtf8(file.readLine()).trimmed();
                if (!url.isEmpty())
                    m_jobs.AddJob(url, 0, 0, QString());
            }
            break;
        }
        case TBatchOptions::TSource::Make:
            MakeSequence::AddTo(m_jobs, source.make.pattern, source.make.start, source.make.end, source.make.length);
            break;
        case TBatchOptions::TSource::Add:
            m_jobs.AddJob(source.text, 0, 0, QString());
            break;
        case TBatchOptions::TSource::Split:
            m_splitFailed = !AddSplit(source.text) || m_splitFailed;
            break;
        }
    }
    return true;
}

bool TBatchRun::AddSplit(const QString &url)
{
    THomeFetch probe(m_jobs, m_settings);
    if (probe.Split(url) > 0) {
        m_splits.append(url);
        return true;
    }
    Print(m_err, QStringLiteral("pelmor: %1: cannot be fetched in parts (%2)\n").arg(url, probe.StatusText));
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
        bool complete = true;
        for (int i = 0; i < rows.size(); ++i)
            complete = complete && Complete(m_jobs.Cell(rows[i], SubMessage)) && QFileInfo(parts[i]).isFile();
        // A missing part would leave a hole in the file: the parts stay for another run.
        if (!complete)
            continue;
        const QString target = LocalFileName::For(folder, url, m_settings.LongFileNames());
        QString error;
        if (!TMergeFiles::Merge(parts, target, &error)) {
            Print(m_err, QStringLiteral("pelmor: %1: %2\n").arg(target, error));
            merged = false;
            continue;
        }
        for (const QString &part : std::as_const(parts))
            QFile::remove(part);
        Print(m_out, QStringLiteral("Merged\t%1\n").arg(target));
    }
    return merged;
}

bool TBatchRun::WriteCatalogue()
{
    QStringList files;
    for (int row = 0; row < m_jobs.RowCount(); ++row) {
        const QString path = TJobFile::ExistingPath(m_scheduler.ProgramFolder, m_jobs.Cell(row, SubURL),
                                                    m_settings.LongFileNames());
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
    Print(m_out, QStringLiteral("Catalogue\t%1\t%2 icons\n").arg(m_options.catalogueFile).arg(icons.Count()));
    return true;
}

void TBatchRun::OnJobEnded(quint64 jobId)
{
    // A job that ended "Retry" is the scheduler's to hand out again or to give up.
    const int row = m_jobs.RowOfJob(jobId);
    if (row >= 0 && !TJobListModel::IsPendingMessage(m_jobs.Cell(row, SubMessage))) {
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

void TBatchRun::Report(int row)
{
    const QString line = m_jobs.Cell(row, SubMessage) + QLatin1Char('\t') + m_jobs.Cell(row, SubURL) + QLatin1Char('\n');
    if (m_live)
        m_finishedLines.append(line);
    else
        Print(m_out, line);
}

void TBatchRun::Redraw()
{
    // Replace the live block: finished jobs scroll up above it, running jobs and the total below.
    QString text;
    if (m_liveLines > 0)
        text += QStringLiteral("\x1b[%1A\x1b[J").arg(m_liveLines);
    text += m_finishedLines.join(QString());
    m_finishedLines.clear();
    int running = 0;
    for (int slot = 0; slot < TScheduler::SlotCount; ++slot) {
        const int row = m_jobs.RowOfJob(m_scheduler.SlotJob(slot));
        if (row < 0)
            continue;
        ++running;
        text += QStringLiteral("[%1] %2 %3/%4 %5 %6\n")
                    .arg(m_jobs.Caption(row), m_jobs.Cell(row, SubPercent), m_jobs.Cell(row, SubCByte),
                         m_jobs.Cell(row, SubTByte), m_jobs.Cell(row, SubMessage), m_jobs.Cell(row, SubURL));
    }
    text += QStringLiteral("%1 running, %2 of %3 ended\n").arg(running).arg(m_ended).arg(m_eligible.size());
    m_liveLines = running + 1;
    Print(m_out, text);
}

void TBatchRun::Print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
