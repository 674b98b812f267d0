#include "app/TBatchRun.h"

#include "app/TBatchOptions.h"
#include "app/TStartOptions.h"
#include "core/THistory.h"
#include "core/TIniFile.h"
#include "core/TJobListFile.h"
#include "core/TSettings.h"
#include "core/TTmpLock.h"
#include "download/LocalFileName.h"
#include "download/UrlUtil.h"
#include "tests/support/BatchRunner.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString Sample = QStringLiteral(PELMOR_TEST_DATA "/sample.wst");

} // namespace

// Catches a bad word run as if it were fine, or a good one lost or misread.
TEST(TBatchRunTest, OptionsAreCheckedBeforeAnythingRuns)
{
    for (const QStringList &bad : {QStringList{"--batch"},
                                   {"--threads", "0", "--add", "u"},
                                   {"--threads", "10", "--add", "u"},
                                   {"--make", "a$", "1", "2"},
                                   {"--make", "a$", "1", "2", "9"},
                                   {"--interval", "5", "--add", "u"},
                                   {"--bogus", "--add", "u"},
                                   {"--add"},
                                   {"--max-wait", "-1", "--add", "u"},
                                   {"--max-wait", "5m", "--add", "u"},
                                   {"--max-wait", "--add", "u"}})
        EXPECT_FALSE(TBatchOptions::Parse(bad).error.isEmpty()) << bad.join(' ').toStdString();

    const TBatchOptions o = TBatchOptions::Parse({"--batch",
                                                  "--threads",
                                                  "9",
                                                  "--interval",
                                                  "50",
                                                  "--timeout",
                                                  "7",
                                                  "--max-tries",
                                                  "3",
                                                  "--make",
                                                  "http://h/$.jpg",
                                                  "1",
                                                  "20",
                                                  "3",
                                                  "--add",
                                                  "http://h/x.jpg",
                                                  "--urls",
                                                  "list.txt",
                                                  "--location",
                                                  "--max-wait",
                                                  "0"});
    ASSERT_TRUE(o.error.isEmpty());
    EXPECT_TRUE(o.location);
    EXPECT_FALSE(TBatchOptions::Parse({"--add", "u"}).location);
    EXPECT_EQ((QList<int>{o.threads, o.interval, o.timeOut, o.maxTries, o.maxWait}), (QList<int>{9, 50, 7, 3, 0}));
    EXPECT_EQ(TBatchOptions::Parse({"--add", "u"}).maxWait, 300) << "five minutes unless asked";
    ASSERT_EQ(o.sources.size(), 3);
    EXPECT_EQ(o.sources[0].make.end, 20);
    EXPECT_EQ(o.sources[2].kind, TBatchOptions::TSource::Urls);
}

// Catches a pacing option read wrong, a bad one run as if it were fine, or one the usage leaves out.
TEST(TBatchRunTest, PacingOptionsAreReadAndBadOnesRefused)
{
    const TBatchOptions none = TBatchOptions::Parse({"--add", "u"});
    EXPECT_EQ((QList<int>{none.startsPerTick, none.hostLimit}), (QList<int>{0, -1})) << "the settings decide";
    EXPECT_FALSE(none.hostGap);
    const TBatchOptions o = TBatchOptions::Parse(
        {"--starts-per-tick", "9", "--host-limit", "0", "--host-gap", QString::fromUtf8("250±10%"), "--add", "u"});
    ASSERT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_EQ((QList<int>{o.startsPerTick, o.hostLimit}), (QList<int>{9, 0}));
    EXPECT_EQ(o.hostGap, (THostGap{250, 10}));
    EXPECT_EQ(TBatchOptions::Parse({"--host-gap", "250+-10%", "--add", "u"}).hostGap, (THostGap{250, 10}));

    for (const QStringList &bad : {QStringList{"--starts-per-tick", "0"},
                                   {"--starts-per-tick", "10"},
                                   {"--host-limit", "-1"},
                                   {"--host-limit", "10"},
                                   {"--host-gap", "500±50"},
                                   {"--host-gap", "-1"},
                                   {"--host-gap", "500±101%"},
                                   {"--host-gap"}})
        EXPECT_FALSE(TBatchOptions::Parse(bad + QStringList{"--add", "u"}).error.isEmpty())
            << bad.join(' ').toStdString();
    EXPECT_EQ(TBatchOptions::Parse({"--starts-per-tick", "10", "--add", "u"}).error,
              "--starts-per-tick takes a number from 1 to 9");
    EXPECT_TRUE(
        TBatchOptions::Parse({"--host-gap", "soon", "--add", "u"}).error.startsWith("--host-gap takes milliseconds"));
    for (const char *option : {"--starts-per-tick N", "--host-limit N", "--host-gap MS[±P%]"})
        EXPECT_TRUE(TStartOptions::Usage().contains(QString::fromUtf8(option))) << option;
}

// Catches the pacing options parsed but not handed to the scheduler: three starts to one host 300 ms
// apart cannot all happen in less than 600 ms, however fast the machine.
TEST(TBatchRunTest, HostGapReachesTheScheduler)
{
    TTempFolder temp;
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + QByteArray(25000, 'g'))});
    QElapsedTimer clock;
    clock.start();
    const TBatchResult run =
        RunBatch(temp, {"--threads", "3", "--starts-per-tick", "9", "--host-limit", "1", "--host-gap", "300", "--add",
                        server.Url("/g1.jpg"), "--add", server.Url("/g2.jpg"), "--add", server.Url("/g3.jpg")});
    EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
    EXPECT_GE(clock.elapsed(), 600);
    EXPECT_EQ(server.AllRequests(), 3);
}

// Catches --limit-rate parsed but not handed to the workers: 300 KiB at 100 KiB/s cannot arrive
// in less than about two seconds (the cap's first fifth of a second comes at once).
TEST(TBatchRunTest, LimitRateCapsTheRun)
{
    EXPECT_EQ(TBatchOptions::Parse({"--limit-rate", "2M", "--add", "u"}).limitRate, TRateCap{2 << 20});
    EXPECT_FALSE(TBatchOptions::Parse({"--add", "u"}).limitRate) << "the settings decide";
    EXPECT_TRUE(TBatchOptions::Parse({"--limit-rate", "fast", "--add", "u"}).error.startsWith("--limit-rate takes"));
    EXPECT_TRUE(TStartOptions::Usage().contains("--limit-rate RATE"));

    TTempFolder temp;
    TScriptedServer server;
    const QByteArray body(300 * 1024, 'r');
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 307200\r\n\r\n" + body)});
    QElapsedTimer clock;
    clock.start();
    const TBatchResult run = RunBatch(temp, {"--limit-rate", "100K", "--add", server.Url("/r.jpg")});
    EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
    EXPECT_GE(clock.elapsed(), (body.size() - 100 * 1024 / 5 - 8192) * 1000 / (100 * 1024));
}

// Catches a stall limit of 0 or less taken from the settings file, where it would time out every
// slow download at once, while the command line refuses it: both follow one rule.
TEST(TBatchRunTest, StallLimitFollowsOneRuleInSettingsAndCommandLine)
{
    TTempFolder temp;
    const struct {
        const char *text;
        bool valid;
    } cases[] = {{"0", false}, {"-5", false}, {"1000001", false}, {"1", true}, {"1000000", true}};
    for (const auto &c : cases) {
        temp.write("limit.ini", QByteArray("[Data]\r\nTimeOutCTR=") + c.text + "\r\n");
        TSettings settings;
        settings.Load(TIniFile(temp.file("limit.ini")));
        EXPECT_EQ(settings.TimeOutCTR, c.valid ? QByteArray(c.text).toInt() : TSettings().TimeOutCTR) << c.text;
        EXPECT_EQ(TBatchOptions::Parse({"--timeout", c.text, "--add", "u"}).error.isEmpty(), c.valid) << c.text;
    }
}

// Catches a finished job not reported on a line of its own with its final message, a missing file
// or a 404 counted as complete, and a job that keeps failing retried for ever.
TEST(TBatchRunTest, ReportsEachFinishedJobAndTheExitStatusWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("p1.jpg", QByteArray(30000, 'a'));
    nginx.WriteFile("p2.jpg", QByteArray(30001, 'b'));
    const TBatchResult ok = RunBatch(temp, {"--threads", "2", "--make", nginx.Url("/p$.jpg"), "1", "2", "0"});
    EXPECT_EQ(ok.status, TBatchRun::ExitComplete) << ok.err.toStdString();
    EXPECT_TRUE(ok.out.contains("End>Completed!\t" + nginx.Url("/p1.jpg") + "\n"));
    EXPECT_EQ(ok.out.count('\n'), 2);
    QFile fetched(LocalFileName::For(temp.path(), nginx.Url("/p1.jpg"), true));
    EXPECT_TRUE(fetched.open(QIODevice::ReadOnly) && fetched.readAll() == QByteArray(30000, 'a'));

    temp.write("urls.txt", (nginx.Url("/p2.jpg") + "\n\n" + nginx.Url("/p3.jpg") + "\n").toUtf8());
    const TBatchResult partly = RunBatch(temp, {"--urls", temp.file("urls.txt")});
    EXPECT_EQ(partly.status, TBatchRun::ExitIncomplete);
    EXPECT_TRUE(partly.out.contains("ファイルが存在します。\t" + nginx.Url("/p2.jpg") + "\n"))
        << partly.out.toStdString();
    EXPECT_TRUE(partly.out.contains("Abort>見つかりません(404)\t" + nginx.Url("/p3.jpg") + "\n"));

    TScriptedServer busy;
    busy.Play({TScriptedServer::Send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n"),
               TScriptedServer::Close()});
    const TBatchResult given = RunBatch(temp, {"--max-tries", "3", "--add", busy.Url("/busy.jpg")});
    EXPECT_EQ(given.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(given.out, "Abort>Retry limit (3): " + UrlUtil::HttpMsg(503) + "\t" + busy.Url("/busy.jpg") + "\n");
    EXPECT_EQ(busy.Connections(), 3);
}

// Catches --location not reaching the workers, a redirected job reported under (or its file named
// after) the URL it was sent to, and a redirect followed without being asked for.
TEST(TBatchRunTest, LocationFollowsRedirectsAndKeepsTheJobsUrlWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    nginx.ServerLines = "location = /r1.jpg { return 301 /r2.jpg; }\n"
                        "location = /r2.jpg { absolute_redirect off; return 302 /r3.jpg; }\n"
                        "location = /r3.jpg { return 307 /pic.jpg; }\n";
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("pic.jpg", QByteArray(30000, 'p'));
    const QString url = nginx.Url("/r1.jpg");
    const TBatchResult off = RunBatch(temp, {"--add", url});
    EXPECT_EQ(off.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(off.out, "Abort>" + UrlUtil::HttpMsg(301) + "\t" + url + "\n");
    const TBatchResult on = RunBatch(temp, {"--location", "--add", url});
    EXPECT_EQ(on.status, TBatchRun::ExitComplete) << on.err.toStdString();
    EXPECT_EQ(on.out, "End>Completed!\t" + url + "\n");
    QFile fetched(LocalFileName::For(temp.path(), url, true));
    EXPECT_TRUE(fetched.open(QIODevice::ReadOnly) && fetched.readAll() == QByteArray(30000, 'p'));
}

// Catches the settings' MaxTries ignored by a batch run.
TEST(TBatchRunTest, RetryLimitComesFromTheSettings)
{
    TTempFolder temp;
    const QString dead = QStringLiteral("http://127.0.0.1:%1/dead.jpg").arg(UnusedLoopbackPort());
    temp.write("limit.ini", "[Data]\r\nMaxTries=2\r\n");
    TBatchOptions options = TBatchOptions::Parse(
        {"--ini", temp.file("limit.ini"), "--folder", temp.path(), "--interval", "10", "--add", dead});
    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    EXPECT_EQ(TBatchRun(options, out, err, false).Run(), TBatchRun::ExitIncomplete);
    const QString printed = ReadBack(out);
    EXPECT_TRUE(printed.startsWith("Abort>Retry limit (2): Connection refused") && printed.endsWith("\t" + dead + "\n"))
        << printed.toStdString();
    std::fclose(err);
}

// Catches a run whose every file was already there counted as incomplete: a file that exists and
// a partial file that is already whole are both done.
TEST(TBatchRunTest, FilesAlreadyThereCompleteTheRun)
{
    TTempFolder temp;
    const QString port = QString::number(UnusedLoopbackPort());
    const QString have = "http://127.0.0.1:" + port + "/have.jpg";
    const QString whole = "http://127.0.0.1:" + port + "/whole.jpg";
    QDir(temp.path()).mkpath("tmp");
    QFile(LocalFileName::For(temp.path(), have, true)).open(QIODevice::WriteOnly);
    QFile partial(LocalFileName::For(temp.path(), whole, true) + "_");
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly) && partial.write(QByteArray(5000, 'w')) == 5000);
    partial.close();
    temp.write("done.wst", ("(..)," + whole + ",-,5000,-,>,-,1.1,Ready,*,0,,,\r\n").toLatin1());
    const TBatchResult r = RunBatch(temp, {"--add", have, temp.file("done.wst")});
    EXPECT_EQ(r.status, TBatchRun::ExitComplete) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("ファイルが存在します。\t" + have + "\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("End>File End!\t" + whole + "\n")) << r.out.toStdString();
}

// Catches an announced empty file retried as a failure (or kept although Size20KB refuses small
// files), and a partial file the server calls whole (416, "bytes */N") given up instead of completed.
TEST(TBatchRunTest, EmptyFilesAndWholePartialFilesComplete)
{
    TTempFolder temp;
    TScriptedServer empty;
    empty.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")});
    const QString url = empty.Url("/empty.jpg");
    const QString file = LocalFileName::For(temp.path(), url, true);
    const TBatchResult small = RunBatch(temp, {"--add", url});
    EXPECT_EQ(small.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(small.out, "Abort>Size 20KB 未満\t" + url + "\n");
    EXPECT_FALSE(QFileInfo::exists(file) || QFileInfo::exists(file + "_"));
    temp.write("any.ini", "[Data]\r\nSize20KB=0\r\n");
    const TBatchResult saved = RunBatch(temp, {"--ini", temp.file("any.ini"), "--add", url});
    EXPECT_EQ(saved.status, TBatchRun::ExitComplete) << saved.err.toStdString();
    EXPECT_EQ(saved.out, "End>Completed!\t" + url + "\n");
    EXPECT_TRUE(QFileInfo(file).isFile() && QFileInfo(file).size() == 0);
    EXPECT_EQ(empty.Connections(), 2) << "one request each run";

    TScriptedServer whole;
    whole.Play({TScriptedServer::Send(
        "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */30000\r\nContent-Length: 0\r\n\r\n")});
    const QString wholeUrl = whole.Url("/whole.jpg");
    const QString wholeFile = LocalFileName::For(temp.path(), wholeUrl, true);
    const QByteArray data(30000, 'w');
    QFile partial(wholeFile + "_");
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly) && partial.write(data) == data.size());
    partial.close();
    temp.write("whole.wst", ("(..)," + wholeUrl + ",-,???,-,>,-,1.1,Ready,*,0,,,\r\n").toLatin1());
    const TBatchResult done = RunBatch(temp, {temp.file("whole.wst")});
    EXPECT_EQ(done.status, TBatchRun::ExitComplete) << done.out.toStdString();
    EXPECT_EQ(done.out, "End>File End!\t" + wholeUrl + "\n");
    EXPECT_TRUE(whole.Request().contains("\r\nRange: bytes=30000-\r\n")) << whole.Request().toStdString();
    QFile fetched(wholeFile);
    EXPECT_TRUE(fetched.open(QIODevice::ReadOnly) && fetched.readAll() == data);
    EXPECT_FALSE(QFileInfo::exists(wholeFile + "_"));
    EXPECT_EQ(whole.Connections(), 1);
}

// Catches a server's control characters written raw into a pipe: the links of an imported page
// become jobs whose lines, and tree lines, carry what the server sent.
TEST(TBatchRunTest, ServerTextReachesAPipeFiltered)
{
    TTempFolder temp;
    TScriptedServer server;
    const QByteArray page = "<html><a href=\"x\x1b]0;owned\x07\x1b[2J\x7f.jpg\">x</a>"
                            "<a href=\"p\x1b[31m.html\">p\x1b[31m</a></html>";
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(page.size())
                                       + "\r\n\r\n" + page)});
    const TBatchResult r = RunBatch(temp, {"--import", server.Url("/index.html")});
    EXPECT_EQ(r.status, TBatchRun::ExitIncomplete);
    for (const QChar c : r.out + r.err)
        EXPECT_FALSE((c < QChar(0x20) && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
                     || (c >= QChar(0x7f) && c < QChar(0xa0)))
            << "control character " << int(c.unicode()) << " in " << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\t" + server.Url("/x?]0;owned??[2J?.jpg") + "\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\t" + server.Url("/p?[31m.html") + "\n")) << r.out.toStdString();
}

// Catches two runs writing the same partial files: a second run on a folder whose tmp another live
// process holds is refused before it asks anything, and a lock left by a dead process does not block.
TEST(TBatchRunTest, SecondRunOnOneFolderIsRefused)
{
    TTempFolder temp;
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")});
    const QString url = server.Url("/a.jpg");
    ASSERT_TRUE(QDir(temp.path()).mkpath("tmp"));
    {
        TTmpLock first;
        ASSERT_TRUE(first.Take(temp.path()));
        const TBatchResult refused = RunBatch(temp, {"--add", url});
        EXPECT_EQ(refused.status, TBatchRun::ExitUsage);
        EXPECT_EQ(refused.err, QStringLiteral("pelmor: %1/tmp is in use by another pelmor (process %2)\n")
                                   .arg(temp.path())
                                   .arg(QCoreApplication::applicationPid()));
        EXPECT_EQ(server.Connections(), 0);
    }
    // A process that has ended, made with fork() itself: the race checker loses its way after QProcess.
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    temp.write("tmp/.pelmor.lock",
               QStringLiteral("%1\npelmor\n%2\n").arg(dead).arg(QSysInfo::machineHostName()).toUtf8());
    const TBatchResult after = RunBatch(temp, {"--add", url});
    EXPECT_EQ(after.status, TBatchRun::ExitIncomplete) << after.err.toStdString();
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_FALSE(QFileInfo::exists(TTmpLock::LockFile(temp.path()))) << "the run lets its lock go";
}

// Catches lists not loaded (finished rows fetched again, "URL=" or "MAKE=" lines lost), a bad line
// passed over in silence, --save missing the outcome, and an unreadable list or failed save ending well.
TEST(TBatchRunTest, RunsListsAndSavesTheOutcomeWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    for (const char *name : {"p1.jpg", "p2.jpg", "m1.jpg", "m2.jpg"})
        nginx.WriteFile(name, QByteArray(29999, name[0]) + name[1]);
    temp.write("jobs.wrg",
               ("[Download1]\r\nURL=" + nginx.Url("/p1.jpg") + "\r\nSize=30000\r\nurl=" + nginx.Url("/p2.jpg")
                + "\r\nMAKE=" + nginx.Url("/m$.jpg") + ",1,2,0,1\r\nMAKE=" + nginx.Url("/x$.jpg") + ",one,2,0,1\r\n")
                   .toLatin1());
    const TBatchResult r = RunBatch(temp,
                                    {"--threads", "2", Sample, temp.file("jobs.wrg"), "--save", temp.file("out.wst")});
    EXPECT_EQ(r.status, TBatchRun::ExitComplete) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("jobs.wrg: 1 bad lines skipped (lines 6)")) << r.err.toStdString();
    EXPECT_EQ(r.out.count("End>Completed!"), 4) << r.out.toStdString();
    QFile original(Sample);
    EXPECT_TRUE(original.open(QIODevice::ReadOnly) && temp.read("out.wst").startsWith(original.readAll()))
        << "finished rows pass through unchanged";
    TJobListModel saved;
    ASSERT_EQ(TJobListFile::LoadList(saved, temp.file("out.wst"), {}).rows, 9);
    const QStringList urls{nginx.Url("/p1.jpg"), nginx.Url("/p2.jpg"), nginx.Url("/m1.jpg"), nginx.Url("/m2.jpg")};
    for (int row = 5; row < 9; ++row)
        EXPECT_EQ(QStringList({saved.Caption(row), saved.Cell(row, SubURL), saved.Cell(row, SubMessage)}),
                  QStringList({"@@", urls[row - 5], "End>Completed!"}));

    const TBatchResult missing = RunBatch(temp, {temp.file("missing.wst")});
    EXPECT_EQ(missing.status, TBatchRun::ExitUsage);
    EXPECT_TRUE(missing.err.contains("missing.wst")) << missing.err.toStdString();
    const QString nowhere = temp.write("plain", "a file, not a folder") + "/out.wst";
    const TBatchResult unsaved = RunBatch(temp, {Sample, "--save", nowhere});
    EXPECT_EQ(unsaved.status, TBatchRun::ExitIncomplete);
    EXPECT_TRUE(unsaved.err.contains(nowhere)) << unsaved.err.toStdString();
}

// Catches a list of a few "MAKE=" lines run as a flood of jobs, or as part of one: the run refuses the
// list, says where, fetches nothing and ends as for a list it cannot read.
TEST(TBatchRunTest, ListOfTooManyMadeUrlsIsRefused)
{
    TTempFolder temp;
    QByteArray flood;
    for (int i = 0; i < 20; ++i)
        flood += "MAKE=http://127.0.0.1:9/" + QByteArray::number(i) + "/$.jpg,0,10000,5,1\r\n";
    const QString list = temp.write("flood.wst", flood);
    const TBatchResult run = RunBatch(temp, {list, "--add", "http://127.0.0.1:9/other.jpg"});
    EXPECT_EQ(run.status, TBatchRun::ExitUsage);
    EXPECT_TRUE(run.err.startsWith("pelmor: " + list + ": 10 行目までの MAKE= 行で")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

namespace {

// The answer of a server holding data, of the given total and validator line, to the range [from, to].
QByteArray RangeAnswer(const QByteArray &data, int from, int to, int total, const QByteArray &validator)
{
    return QStringLiteral("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes %1-%2/%3\r\nContent-Length: %4\r\n")
               .arg(from)
               .arg(to)
               .arg(total)
               .arg(to - from + 1)
               .toLatin1()
           + validator + "\r\n" + data.mid(from, to - from + 1);
}

} // namespace

// Catches the parts of two versions of a file merged and reported as a success: the file changes
// between part requests (another total; the same size with a new ETag, the server keeping If-Range;
// the same size with a new date, the server ignoring it). The third part's answer is of the new
// version: no merge, no "Merged", the reason printed, the parts removed and exit 1. An unchanged
// file still merges.
TEST(TBatchRunTest, PartsOfAnotherVersionAreNotMerged)
{
    const QByteArray data = "abcdefghijkl";
    const QByteArray tag = "ETag: \"v1\"\r\n", date = "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\n";
    const QByteArray newDate = "Last-Modified: Thu, 22 Oct 2015 07:28:00 GMT\r\n";
    const struct {
        const char *name;
        QByteArray validator;
        QByteArray third;
        QString refusal;
    } cases[] = {
        {"another total", tag, RangeAnswer(data, 4, 5, 14, tag), "File changed: 14 bytes instead of 12"},
        {"new ETag", tag, "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nETag: \"v2\"\r\n\r\n" + data,
         "File changed: ETag \"v2\" instead of \"v1\""},
        {"new date", date, RangeAnswer(data, 4, 5, 12, newDate),
         "File changed: Last-Modified Thu, 22 Oct 2015 07:28:00 GMT instead of Wed, 21 Oct 2015 07:28:00 GMT"},
        {"unchanged", tag, RangeAnswer(data, 4, 5, 12, tag), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TTempFolder temp;
        TScriptedServer server;
        // One worker fetches the six parts of 2 bytes in order, one connection each after the probe's.
        server.Play({TScriptedServer::Send(RangeAnswer(data, 1, 1, 12, c.validator)), TScriptedServer::Close()});
        for (int part = 0; part < 6; ++part)
            server.Play({TScriptedServer::Send(part == 2 ? c.third
                                                         : RangeAnswer(data, 2 * part, 2 * part + 1, 12, c.validator)),
                         TScriptedServer::Close()});
        const QString url = server.Url("/v.bin");
        const TBatchResult run = RunBatch(temp, {"--threads", "1", "--split", url});
        const QString whole = LocalFileName::For(temp.path(), url, true);
        EXPECT_TRUE(server.Request(3).contains("\r\nIf-Range: " + c.validator.mid(c.validator.indexOf(' ') + 1)))
            << server.Request(3).toStdString();
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
            EXPECT_TRUE(ReadFileOrMissing(whole) == data);
            continue;
        }
        EXPECT_EQ(run.status, TBatchRun::ExitIncomplete);
        EXPECT_TRUE(run.out.contains("Abort>" + c.refusal + "\t" + url + "\n")) << run.out.toStdString();
        EXPECT_FALSE(run.out.contains("Merged")) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains("pelmor: " + whole + ": not merged: part 003: Abort>" + c.refusal
                                     + " (the parts of the earlier version are removed)\n"))
            << run.err.toStdString();
        // Nothing of the earlier version is left for the next run's split to take as done.
        EXPECT_EQ(QDir(temp.path() + "/tmp").entryList(QDir::Files), QStringList());
    }
}

// Catches parts joined in the wrong order or with a hole, parts left behind after the join, and a
// server that refuses ranges reported as success.
TEST(TBatchRunTest, SplitFetchesPartsAndJoinsThemWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    QByteArray original;
    for (int i = 0; i < 200000; ++i)
        original.append(char(i * 7919 % 251));
    nginx.WriteFile("whole.bin", original);
    const QString url = nginx.Url("/whole.bin");
    const TBatchResult run = RunBatch(temp, {"--threads", "9", "--split", url});
    EXPECT_EQ(run.status, TBatchRun::ExitComplete) << run.err.toStdString();
    const QString whole = LocalFileName::For(temp.path(), url, true);
    EXPECT_TRUE(run.out.contains("Merged\t" + whole));
    QFile merged(whole);
    ASSERT_TRUE(merged.open(QIODevice::ReadOnly));
    EXPECT_TRUE(merged.readAll() == original);
    EXPECT_EQ(QDir(temp.path() + "/tmp").entryList(QDir::Files), QStringList{QFileInfo(whole).fileName()});
    // The joined file is the one recorded, with the hash of what was written, not the parts.
    THistory history;
    EXPECT_EQ(history.Load(temp.file(THistory::FileName)).rows, 1);
    const std::optional<THistory::TRecord> recorded =
        history.FindOther(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex(), "another URL");
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->url, url);
    EXPECT_EQ(recorded->localFile, whole);
    EXPECT_EQ(recorded->size, original.size());

    TScriptedServer whole200;
    whole200.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"), TScriptedServer::Close()});
    const TBatchResult refused = RunBatch(temp, {"--split", whole200.Url("/x.bin")});
    EXPECT_EQ(refused.status, TBatchRun::ExitIncomplete);
    EXPECT_TRUE(refused.err.contains("cannot be fetched in parts (分割不可！)")) << refused.err.toStdString();
}

// Catches a batch run that downloads through a link at a job's name (the file outside written, or
// the link's target reported as the finished file) or joins a split file through one, without
// saying why on the job's line or the error stream.
TEST(TBatchRunTest, LinksAtTheJobsNamesAreRefusedWithTheReasonWithNginx)
{
    TTempFolder temp, outside;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("l.jpg", QByteArray(30000, 'l'));
    nginx.WriteFile("s.bin", QByteArray(200000, 's'));
    const QString precious = outside.write("precious", "keep me");
    const QString url = nginx.Url("/l.jpg");
    const QString name = LocalFileName::For(temp.path(), url, true);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(name).path()));
    ASSERT_TRUE(QFile::link(precious, name));
    const TBatchResult linked = RunBatch(temp, {"--add", url});
    EXPECT_EQ(linked.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(linked.out, "Abort>「" + QFileInfo(name).fileName() + "」はシンボリックリンクです。\t" + url + "\n");

    const QString split = nginx.Url("/s.bin");
    const QString whole = LocalFileName::For(temp.path(), split, true);
    ASSERT_TRUE(QFile::link(outside.file("new"), whole));
    const TBatchResult joined = RunBatch(temp, {"--threads", "9", "--split", split});
    EXPECT_NE(joined.status, TBatchRun::ExitComplete);
    EXPECT_TRUE(joined.err.contains("「" + QFileInfo(whole).fileName() + "」はシンボリックリンクです。"))
        << joined.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(outside.file("new")));
    EXPECT_EQ(ReadFileOrMissing(precious), "keep me");
}

// Catches a busy server's wait not shown, shown with --quiet or not waited for, and --max-wait not
// reaching the scheduler. (The default limit is run on the real program, which a test can stop.)
TEST(TBatchRunTest, BusyServersWaitsAreShownAndLongOnesGiveTheJobUp)
{
    TTempFolder temp;
    const QByteArray busy = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nRetry-After: ";
    const QByteArray file(25000, 'w');
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + file;
    TScriptedServer second;
    second.Play({TScriptedServer::Send(busy + "1\r\n\r\n")});
    second.Play({TScriptedServer::Send(ok)});
    const QString url = second.Url("/second.jpg");
    const TBatchResult waited = RunBatch(temp, {"--add", url});
    EXPECT_EQ(waited.status, TBatchRun::ExitComplete) << waited.err.toStdString();
    EXPECT_EQ(waited.out, "WAIT\t1\t" + url + "\nEnd>Completed!\t" + url + "\n");
    EXPECT_EQ(ReadFileOrMissing(LocalFileName::For(temp.path(), url, true)), file);

    TScriptedServer quiet;
    quiet.Play({TScriptedServer::Send(busy + "1\r\n\r\n")});
    quiet.Play({TScriptedServer::Send(ok)});
    const TBatchResult silent = RunBatch(temp, {"-q", "--add", quiet.Url("/quiet.jpg")});
    EXPECT_EQ(silent.status, TBatchRun::ExitComplete);
    EXPECT_EQ(silent.out, "") << "waiting is progress, not a failure";

    TScriptedServer none;
    none.Play({TScriptedServer::Send(busy + "1\r\n\r\n")});
    const TBatchResult never = RunBatch(temp, {"--max-wait", "0", "--add", none.Url("/none.jpg")});
    EXPECT_EQ(never.out, "Abort>Retry-After 1 s is longer than the wait limit (0 s)\t" + none.Url("/none.jpg") + "\n");
}

// Catches a try counted twice (a stalled request left an empty partial file, and the next try
// ended on it without asking the server), and a given-up job that does not say what failed.
TEST(TBatchRunTest, RetryLimitCountsRequestsAndNamesTheLastFailure)
{
    TTempFolder temp;
    TScriptedServer silent;
    silent.Play({TScriptedServer::Pause()});
    const QString url = silent.Url("/stall.jpg");
    const TBatchResult stalled = RunBatch(temp, {"--timeout", "1", "--max-tries", "4", "--add", url});
    EXPECT_EQ(stalled.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(stalled.out, "Abort>Retry limit (4): nothing received for 1 s\t" + url + "\n");
    EXPECT_EQ(silent.Connections(), 4);

    TScriptedServer cut;
    // HTTP/1.0: each try starts afresh, and ends the same way.
    cut.Play({TScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 30000\r\n\r\n" + QByteArray(100, 'c')),
              TScriptedServer::Close()});
    const QString cutUrl = cut.Url("/cut.jpg");
    const TBatchResult shortened = RunBatch(temp, {"--max-tries", "2", "--add", cutUrl});
    EXPECT_EQ(shortened.out,
              "Abort>Retry limit (2): the connection closed before the whole answer arrived\t" + cutUrl + "\n");
    EXPECT_EQ(cut.Connections(), 2);
}

// Catches part rows of a list whose range cannot be read dropped without a word (even with -q),
// fetched, or counted as a run that took all its input.
TEST(TBatchRunTest, ListRowsWithoutARangeAreRefused)
{
    TTempFolder temp;
    const QString url = QStringLiteral("http://127.0.0.1:%1/big.zip").arg(UnusedLoopbackPort());
    temp.write("parts.wst", ("(..)," + url
                             + ",-,???,-,>,-,-,Ready,*,0,x,100,001\r\n"
                               "(..),"
                             + url
                             + ",-,???,-,>,-,-,Retry,*,0,200,100,002\r\n"
                               "(..),"
                             + url + ",-,???,-,>,-,-,Cancel,*,0,x,,003\r\n")
                                .toLatin1());
    const TBatchResult r = RunBatch(temp, {"-q", temp.file("parts.wst"), "--save", temp.file("saved.wst")});
    EXPECT_EQ(r.status, TBatchRun::ExitIncomplete);
    const QString where = "pelmor: " + temp.file("parts.wst") + ": 「" + url + "」: part ";
    EXPECT_EQ(r.err, where + "001: S Bytes \"x\" and E Bytes \"100\" give no range to fetch\n" + where
                         + "002: S Bytes \"200\" and E Bytes \"100\" give no range to fetch\n");
    EXPECT_EQ(r.out, "");
    const QString saved = QString::fromLatin1(temp.read("saved.wst"));
    EXPECT_EQ(saved.count(",Abort>S Bytes / E Bytes,"), 2) << saved.toStdString();
    EXPECT_TRUE(saved.contains(",Cancel,")) << "a row that is not fetched is no one's concern";
}
