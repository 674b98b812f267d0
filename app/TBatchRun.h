#pragma once

#include "app/TBatchDisplay.h"
#include "app/TBatchOptions.h"
#include "core/TJobListModel.h"
#include "core/TScheduler.h"
#include "core/TSettings.h"
#include "core/TTmpLock.h"

#include <QEventLoop>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <cstdio>

// Headless run of the job list: the same list and scheduler as the windows, reporting on a console.
class TBatchRun : public QObject
{
    Q_OBJECT
public:
    static constexpr int ExitComplete = 0;
    static constexpr int ExitIncomplete = 1;
    static constexpr int ExitUsage = 2;

    // liveDisplay: out is a terminal that takes cursor moves; colour: and colours.
    TBatchRun(const TBatchOptions &options, std::FILE *out, std::FILE *err, bool liveDisplay, bool colour = false);
    ~TBatchRun() override;

    // Fetches everything and returns the exit status.
    int Run();

    TJobListModel &Jobs() { return FJobs; }
    // Bookkeeping at each job's end: a job that is done is reported; the run ends when none is left.
    void OnJobEnded(quint64 jobId);
    // A job waits on its server: a line says so, as progress (none with --quiet).
    void OnJobWaiting(quint64 jobId, qint64 waitMs);

    // Attempts per job when neither --max-tries nor the settings give a limit: a run must end.
    static constexpr int DefaultMaxTries = 10;

private:
    bool Prepare();
    bool AddSources();
    // Adds url as a whole-file job, or prints the refusal ("where: 「URL」: reason") and marks the
    // run as one whose input was not all taken.
    void Take(const QString &where, const QString &url, const QString &refusal);
    // Takes every URL of a made sequence, as the Home window's Make offers them.
    void TakeMade(const QString &where, const QString &pattern, int start, int end, int length);
    // A list's "MAKE=" line, read as the Home window reads it; false when a number is not a number.
    bool TakeListMake(const QString &list, const QString &url, const QString &start, const QString &end,
                      const QString &length, const QString &step);
    // The reason url cannot be split or imported, printed as Take prints it; false when it can.
    bool Refused(const QString &where, const QString &url);
    // Pending part rows from firstRow on whose range cannot be read are refused as Take refuses a
    // URL, and marked as the scheduler would mark them, so they are never handed out.
    void RefuseBadRanges(const QString &where, int firstRow);
    // Splits url into part jobs; false (with a message) when the server gives no parts.
    bool AddSplit(const QString &url);
    // Imports the page at url as the Home window does and prints its link tree; false (with the
    // reason) when the page could not be fetched.
    bool AddImport(const QString &url);
    // Joins the parts of every split whose parts are all complete; false when one could not be joined.
    bool MergeSplits();
    // Writes the thumbnails of the jobs' files that decode, in job order; false (with a message) when
    // the catalogue cannot be written.
    bool WriteCatalogue();
    void Report(int row);
    void Redraw();
    // Lines of text, a server's or a user's words among them: control characters never reach the stream.
    void Print(std::FILE *stream, const QString &text);
    // The display's own drawing, its colours and cursor moves, as made.
    static void Write(std::FILE *stream, const QString &text);
    // A line that tells of success: none with --quiet.
    void Tell(const QString &text);
    QList<TLiveJob> RunningJobs() const;

    TBatchOptions FOptions;
    std::FILE *FOut;
    std::FILE *FErr;
    bool FLive;
    bool FColour;
    TBatchDisplay FDisplay;
    TJobListModel FJobs;
    TSettings FSettings;
    TScheduler FScheduler;
    TTmpLock FTmpLock;
    QSet<quint64> FEligible;
    QStringList FSplits;
    bool FSplitFailed = false;
    bool FImportFailed = false;
    bool FInputRefused = false;
    int FEnded = 0;
    int FFailed = 0;
    QStringList FFinishedLines;
    QTimer FRedraw;
    QEventLoop *FLoop = nullptr;
};
