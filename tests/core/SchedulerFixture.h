#pragma once

#include "core/TScheduler.h"
#include "core/TSettings.h"
#include "tests/support/TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

// A scheduler over a list of its own, in a program folder of its own with its "tmp" folder, ticking
// every 20 ms once fetching is on; counts the ends of work and of each job.
class TSchedulerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(temp.path()).mkdir("tmp");
        settings.Interval = 20;
        scheduler.ProgramFolder = temp.path();
        QObject::connect(&scheduler, &TScheduler::WorkFinished, [this] { ++finished; });
        QObject::connect(&scheduler, &TScheduler::JobEnded, [this](quint64 id) { ended.append(id); });
    }

    void TearDown() override { scheduler.Shutdown(); }

    TTempFolder temp;
    TJobListModel jobs;
    TSettings settings;
    TScheduler scheduler{jobs, settings};
    int finished = 0;
    QList<quint64> ended;
};
