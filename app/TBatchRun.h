#pragma once

#include "TBatchOptions.h"
#include "TJobListModel.h"
#include "TScheduler.h"
#include "TSettings.h"

#include <QEventLoop>
#include <QHash>
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

    TBatchRun(const TBatchOptions &options, std::FILE *out, std::FILE *err, bool liveDisplay);
    ~TBatchRun() override;

    // Fetches everything and returns the exit status.
    int Run();

    TJobListModel &Jobs() { return m_jobs; }

private:
    bool Prepare();
    bool AddSources();
    void OnJobEnded(quint64 jobId);
    void Report(int row);
    void Redraw();
    void Print(std::FILE *stream, const QString &text);

    TBatchOptions m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    bool m_live;
    TJobListModel m_jobs;
    TSettings m_settings;
    TScheduler m_scheduler;
    QHash<quint64, int> m_tries;
    QSet<quint64> m_eligible;
    QStringList m_finishedLines;
    int m_liveLines = 0;
    QTimer m_redraw;
    QEventLoop *m_loop = nullptr;
};
