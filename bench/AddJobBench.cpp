// Appends a 0..10000 expansion to a list that already holds 10,000 rows and prints how long the
// duplicate test and the appends took, then how long saving and loading such a list takes.
#include "core/TJobListFile.h"
#include "core/TJobListModel.h"
#include "core/TUrlEntry.h"
#include "maker/MakeSequence.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int Existing = 10000;
    TJobListModel jobs;
    for (int i = 0; i < Existing; ++i)
        jobs.AddJob(QStringLiteral("http://other.example/gallery/%1/photo.jpg").arg(i), 0, 0, QString());

    // Offered as the Home window's Make offers it: each URL through the list's rule, then appended.
    const QString pattern = QStringLiteral("http://host.example/pictures/img$.jpg");
    QElapsedTimer timer;
    timer.start();
    const int added = TUrlEntry::AddUrls(jobs, MakeSequence::Expand(pattern, 0, 10000, 5)).added;
    const qint64 ns = timer.nsecsElapsed();
    timer.restart();
    const int again = TUrlEntry::AddUrls(jobs, MakeSequence::Expand(pattern, 0, 10000, 5)).added;
    const qint64 duplicateNs = timer.nsecsElapsed();

    const double seconds = ns / 1e9;
    std::printf("appended %d rows to %d existing in %.3f s (%.0f rows/s)\n", added, Existing, seconds, added / seconds);
    std::printf("offered the same %d URLs again: %d added in %.3f s (%.0f offers/s)\n", 10001, again, duplicateNs / 1e9,
                10001 / (duplicateNs / 1e9));

    // The list is saved at every close and loaded at every start.
    const QString file =
        QDir::temp().filePath(QStringLiteral("pelmor-bench-%1.wst").arg(QCoreApplication::applicationPid()));
    timer.restart();
    QString error;
    const bool saved = TJobListFile::SaveList(jobs, file, &error);
    const qint64 saveNs = timer.nsecsElapsed();
    TJobListModel loaded;
    timer.restart();
    const TJobListFile::TLoadReport report = TJobListFile::LoadList(loaded, file, {});
    const qint64 loadNs = timer.nsecsElapsed();
    QFile::remove(file);
    std::printf("saved %d rows in %.3f s, loaded %d in %.3f s\n", jobs.RowCount(), saveNs / 1e9, report.rows,
                loadNs / 1e9);
    return added == 10001 && again == 0 && saved && report.rows == jobs.RowCount() ? 0 : 1;
}
