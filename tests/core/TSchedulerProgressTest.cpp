#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

// The % cell up to its first dot; anything that is not a whole number there counts as 0.
TEST(TSchedulerProgress, PercentCellAsWorkerProgress)
{
    EXPECT_EQ(TScheduler::PercentValue("45.7"), 45);
    EXPECT_EQ(TScheduler::PercentValue("100"), 100);
    EXPECT_EQ(TScheduler::PercentValue("3.2.1"), 3);
    EXPECT_EQ(TScheduler::PercentValue("-"), 0);
    EXPECT_EQ(TScheduler::PercentValue(""), 0);
    EXPECT_EQ(TScheduler::PercentValue("12a.5"), 0);
    EXPECT_EQ(TScheduler::PercentValue(".5"), 0);
}

// Integer arithmetic; an empty list shows a full bar rather than dividing by zero.
TEST(TSchedulerProgress, OverallPercent)
{
    EXPECT_EQ(TScheduler::OverallPercent(0, 0, 0), 100);
    EXPECT_EQ(TScheduler::OverallPercent(4, 1, 1), 50);
    EXPECT_EQ(TScheduler::OverallPercent(3, 1, 0), 66);
    EXPECT_EQ(TScheduler::OverallPercent(3, 0, 0), 100);
    EXPECT_EQ(TScheduler::OverallPercent(2, 1, 2), 0) << "a running row still marked pending never goes below 0";
}

// Every monitor pass reports: the running job's % cell for its worker, the rest of the list overall.
TEST(TSchedulerProgress, MonitorPassReportsRunningJob)
{
    TTempFolder temp;
    QDir(temp.path()).mkdir("tmp");
    TJobListModel jobs;
    TSettings settings;
    settings.Interval = 20;
    TScheduler scheduler(jobs, settings);
    scheduler.ProgramFolder = temp.path();
    TScheduler::TWorkerProgress workers{};
    int overall = -1;
    int passes = 0;
    QObject::connect(&scheduler, &TScheduler::ProgressChanged, [&](const TScheduler::TWorkerProgress &w, int o) {
        workers = w;
        overall = o;
        ++passes;
    });

    jobs.AddJob("http://h/a.jpg", 0, 0, {});
    jobs.AddJob("http://h/b.jpg", 0, 0, {});
    jobs.SetCell(1, SubMessage, "Cancel");
    scheduler.MonitorJobs();
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(overall, 50) << "one of two rows pending";
    EXPECT_EQ(workers, TScheduler::TWorkerProgress{});

    TScriptedServer server; // a file large enough for the worker to keep
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(50000, 'x')),
                 TScriptedServer::Pause()});
    jobs.SetCell(0, SubURL, server.Url("/held.bin"));
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return scheduler.IsRunningRow(0) && jobs.Cell(0, SubPercent).startsWith("50"); }))
        << qPrintable(jobs.Caption(0) + " " + jobs.Cell(0, SubPercent) + " " + jobs.Cell(0, SubMessage) + " "
                      + jobs.Cell(0, SubCByte));
    scheduler.MonitorJobs();
    const int worker = jobs.Caption(0).toInt();
    EXPECT_EQ(workers[size_t(worker)], 50);
    EXPECT_EQ(overall, 50) << "the running row is neither done nor pending";
    scheduler.Shutdown();
}
