// Prints, for lists of 10,000 and 100,000 rows, how long the list's bulk work takes: one stall
// monitor pass with four jobs running, the search for the next row when only the last is pending,
// removing every second row, sorting by URL, naming every row's file, and batch mode's bookkeeping at
// each job's end.
#include "app/TBatchOptions.h"
#include "app/TBatchRun.h"
#include "core/TJobListModel.h"
#include "core/TScheduler.h"
#include "core/TSettings.h"
#include "download/RowTexts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>

#include <cstdio>
#include <functional>

namespace {

// URLs in a scrambled order, so that sorting has work to do.
void Fill(TJobListModel &jobs, int rows, const QString &host)
{
    for (int i = 0; i < rows; ++i)
        jobs.AddJob(QStringLiteral("http://%1/gallery/%2.jpg")
                        .arg(host)
                        .arg((qint64(i) * 7919) % rows, 6, 10, QLatin1Char('0')),
                    0, 0, QString());
}

// Mean time of one call in microseconds.
double Micros(int repeat, const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < repeat; ++i)
        work();
    return timer.nsecsElapsed() / 1e3 / repeat;
}

void Measure(int rows, const QString &silentHost)
{
    std::printf("%d rows:\n", rows);
    {
        // Four workers hold jobs on a server that never answers, so the monitor has rows to watch.
        TJobListModel jobs;
        Fill(jobs, rows, silentHost);
        TSettings settings;
        TScheduler scheduler(jobs, settings);
        for (int tick = 0; tick <= settings.Threads; ++tick)
            scheduler.Timer1Timer();
        std::printf("  MonitorJobs, one pass:                 %10.1f us\n",
                    Micros(1000, [&] { scheduler.MonitorJobs(); }));
        for (int row = 0; row < rows - 1; ++row)
            if (!scheduler.IsRunningRow(row))
                jobs.SetCell(row, SubMessage, RowText::Completed);
        std::printf("  NextPendingRow, last row pending:      %10.1f us\n",
                    Micros(20, [&] { scheduler.NextPendingRow(); }));
        scheduler.Shutdown();
    }
    {
        TJobListModel jobs;
        Fill(jobs, rows, QStringLiteral("host.example"));
        QList<int> every2nd;
        for (int row = 0; row < rows; row += 2)
            every2nd.append(row);
        std::printf("  removing every second row:             %10.1f ms\n",
                    Micros(1, [&] { jobs.RemoveRows(every2nd); }) / 1e3);
        std::printf("  SortByUrl of the %6d left:          %10.1f ms\n", jobs.RowCount(),
                    Micros(1, [&] { jobs.SortByUrl(); }) / 1e3);
        // Files are named in row order, so the first hand-out after a removal or a sort names the rows
        // above it anew.
        std::printf("  naming the files of all %6d rows:  %10.1f ms\n", jobs.RowCount(),
                    Micros(1, [&] { jobs.LocalFile(jobs.RowCount() - 1, QStringLiteral("/p"), true, false); }) / 1e3);
    }
    {
        TBatchOptions options;
        std::FILE *devnull = std::fopen("/dev/null", "w");
        TBatchRun batch(options, devnull, devnull, false);
        TJobListModel &jobs = batch.Jobs();
        Fill(jobs, rows, QStringLiteral("host.example"));
        // Jobs end top to bottom, as a run hands them out.
        int row = 0;
        const double perEnd = Micros(rows, [&] {
            jobs.SetCell(row, SubMessage, RowText::Completed);
            batch.OnJobEnded(jobs.JobAt(row));
            ++row;
        });
        std::printf("  batch bookkeeping per job end:         %10.2f us (%.1f ms for all)\n", perEnd,
                    perEnd * rows / 1e3);
        std::fclose(devnull);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "bench_list: cannot listen on 127.0.0.1\n");
        return 1;
    }
    const QString host = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
    for (const int rows : {10000, 100000})
        Measure(rows, host);
    return 0;
}
