#include "download/LocalFileName.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class TBatchImportTest : public ::testing::Test
{
protected:
    // Runs "pelmor --batch" on a settings file with these [Data] lines, its downloads in folder.
    TProgramRun Import(const QByteArray &dataLines, const QStringList &args, int deadlineMs = 60000)
    {
        QFile ini(temp.file("pelmor.ini"));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write("[Data]\r\n" + dataLines) >= 0);
        ini.close();
        return RunPelmor(QStringList{"--batch", "--ini", ini.fileName(), "--folder", folder, "--interval", "20",
                                     "--threads", "3"}
                             + args,
                         deadlineMs);
    }
    QByteArray Fetched(const QString &url) const
    {
        QFile file(LocalFileName::For(folder, url, true));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }

    TTempFolder temp;
    QString folder = temp.path();
};

} // namespace

// A Shift_JIS page from nginx: catches tree lines out of tree order, after a job line, with captions
// not decoded or left with their line breaks and control bytes; files not fetched whole; and the Gif
// and SNSize settings not reaching the import.
TEST_F(TBatchImportTest, PageLinksBecomeTreeLinesAndFetchedJobsWithNginx)
{
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    QStringEncoder sjis("Shift_JIS");
    const QByteArray page =
        "<html><body>\n<a href=\"a.jpg\">" + QByteArray(sjis.encode(u"写真")) + "</a>\n<a href=\"diary.html\">"
        + QByteArray(sjis.encode(u"日本語の")) + "<br>" + QByteArray(sjis.encode(u"日記"))
        + "</a>\n<a href=\"bell\x07\x08.html\">bell</a>\n"
          "<a href=\"mailto:me@example\">mail</a> <a href=\"diary.html\">again</a>\n"
          "<A HREF=\"up/\">Up</A>\n<img src=\"anim.gif\"> <img src=\"thumb.jpg\" width=\"100\" height=\"80\">\n"
          "<img src=\"big.png\">\n</body></html>\n";
    nginx.WriteFile("index.html", page);
    // Each above the smallest size a job keeps.
    const QList<QPair<QString, QByteArray>> files{{"a.jpg", QByteArray(30000, 'a')},
                                                  {"anim.gif", QByteArray(30001, 'g')},
                                                  {"thumb.jpg", QByteArray(30002, 't')},
                                                  {"big.png", QByteArray(40000, 'b')}};
    for (const auto &[name, bytes] : files)
        nginx.WriteFile(name, bytes);
    const QString site = nginx.Url("/");
    const QStringList pages{"TREE\t 日本語の   日記 |  again\t" + site + "diary.html",
                            "TREE\t bell\t" + site + "bell??.html", "TREE\t mail\t" + site + "mailto:me@example/",
                            "TREE\t Up\t" + site + "up/"};
    const QStringList held{"TREE\t＜画像＞\t" + site + "anim.gif", "TREE\t＜画像＞\t" + site + "thumb.jpg"};

    for (const bool filtered : {true, false}) {
        SCOPED_TRACE(filtered ? "Gif=0, SNSize=0" : "Gif=1, SNSize=1");
        folder = temp.file(filtered ? "filtered" : "unfiltered");
        const TProgramRun run = Import(filtered ? "Gif=0\r\nSNSize=0\r\n" : "Gif=1\r\nSNSize=1\r\n",
                                       {"--import", site + "index.html"});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        QStringList lines = run.out.split('\n');
        ASSERT_EQ(lines.takeLast(), "") << run.out.toStdString();
        const QStringList tree = filtered ? pages + held : pages;
        ASSERT_GE(lines.size(), tree.size()) << run.out.toStdString();
        EXPECT_EQ(lines.mid(0, tree.size()), tree) << "every tree line first, in tree order";

        QStringList jobs = lines.mid(tree.size()), expected;
        for (const auto &[name, bytes] : files)
            if (!filtered || !held.contains("TREE\t＜画像＞\t" + site + name)) {
                expected.append("End>Completed!\t" + site + name);
                EXPECT_TRUE(Fetched(site + name) == bytes) << name.toStdString();
            }
        jobs.sort();
        expected.sort();
        EXPECT_EQ(jobs, expected);
    }
}

// Catches a page that was never fetched passing as an empty page (exit 0, nothing said), a failed page
// ending the whole run, and a page cut short taken for a whole one.
TEST_F(TBatchImportTest, PageThatCannotBeFetchedSaysWhyAndExitsOne)
{
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("here.jpg", QByteArray(30000, 'h'));

    const QString refused = QStringLiteral("http://127.0.0.1:%1/index.html").arg(UnusedLoopbackPort());
    const TProgramRun none = Import({}, {"--import", refused});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(none.err.startsWith("pelmor: " + refused + ": Connection refused")) << none.err.toStdString();

    const QString missing = nginx.Url("/missing.html");
    const TProgramRun gone = Import({}, {"--import", missing, "--add", nginx.Url("/here.jpg")});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "pelmor: " + missing + ": 見つかりません(404)\n");
    EXPECT_EQ(gone.out, "End>Completed!\t" + nginx.Url("/here.jpg") + "\n") << "the other sources still run";
    EXPECT_TRUE(Fetched(nginx.Url("/here.jpg")) == QByteArray(30000, 'h'));

    TScriptedServer cut;
    cut.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n<a href=\"p.html\">p</a>"),
              TScriptedServer::Close()});
    const TProgramRun part = Import({}, {"--import", cut.Url("/index.html")});
    EXPECT_EQ(part.status, 1);
    EXPECT_TRUE(part.err.contains("closed before the whole answer arrived")) << part.err.toStdString();
    EXPECT_EQ(part.out, "TREE\t p\t" + cut.Url("/p.html") + "\n") << "what arrived is still imported";
}

// Catches runs that never end on a server that goes quiet: an HTTP/1.0 answer stopping in mid-body
// (the stall monitor once watched only HTTP/1.1 rows), a split probe or page import (plain or TLS)
// that is accepted and never answered, and a CAFile that is a FIFO, whose open() would block a
// worker for good. Each must end with exit 1 and say why; status -1 means the run hung and was killed.
TEST_F(TBatchImportTest, SilentServersAndAFifoCAFileEndTheRunWithAFailure)
{
    const int deadline = 10000;
    TScriptedServer old;
    old.Play({TScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 40000\r\n\r\n" + QByteArray(25000, 'y')),
              TScriptedServer::Pause()});
    const QString oldUrl = old.Url("/old.bin");
    const TProgramRun stalled = Import({}, {"--timeout", "1", "--max-tries", "1", "--add", oldUrl}, deadline);
    EXPECT_EQ(stalled.status, 1) << stalled.err.toStdString();
    EXPECT_EQ(stalled.out, "Abort>Retry limit (1): nothing received for 1 s\t" + oldUrl + "\n");

    TScriptedServer silent;
    silent.Play({TScriptedServer::Pause()});
    const QString tlsPage = QStringLiteral("https://127.0.0.1:%1/index.html").arg(silent.Port());
    for (const QStringList &source :
         {QStringList{"--split", silent.Url("/f.bin")}, QStringList{"--import", silent.Url("/index.html")},
          QStringList{"--import", tlsPage}}) {
        SCOPED_TRACE(source.join(' ').toStdString());
        const TProgramRun run = Import({}, QStringList{"--timeout", "1"} + source, deadline);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "pelmor: " + source[1] + ": nothing received for 1 s\n");
    }

    const QString fifo = temp.file("ca.pem");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString secure = QStringLiteral("https://127.0.0.1:%1/a.jpg").arg(silent.Port());
    const TProgramRun pipe = Import("CAFile=" + fifo.toUtf8() + "\r\n", {"--max-tries", "1", "--add", secure},
                                    deadline);
    EXPECT_EQ(pipe.status, 1);
    EXPECT_EQ(pipe.out, "Abort>TLS: CAFile " + fifo + " is not a regular file\t" + secure + "\n");
}

// Catches --help refused without --batch, a usage that leaves out the window's or the batch options,
// and two usage texts that drift apart.
TEST(TBatchUsageTest, HelpPrintsTheWholeUsageAndExitsZero)
{
    const TProgramRun help = RunPelmor({"--help"});
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_EQ(help.err, "");
    for (const char *option : {"--ini FILE", "--folder DIR", "ARGUMENT", "--hand-over FILE", "--version", "--batch",
                               "--import URL", "--split URL", "--threads N", "--catalogue FILE.pel", "--quiet"})
        EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;
    for (const QStringList &args : {QStringList{"-h"}, {"--batch", "--help"}, {"--batch", "-h"}}) {
        const TProgramRun same = RunPelmor(args);
        EXPECT_EQ(same.status, 0) << args.join(' ').toStdString();
        EXPECT_EQ(same.out, help.out) << args.join(' ').toStdString();
    }
    const TProgramRun bogus = RunPelmor({"--bogus"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_TRUE(bogus.err.startsWith("pelmor: unknown option --bogus\nusage: pelmor")) << bogus.err.toStdString();
}

// Catches a busy server's "Retry-After: 3600" waited out, an hour per try, in silence: by default
// the job is given up at once and says why. Status -1 means the run was still waiting.
TEST_F(TBatchImportTest, LongRetryAfterGivesTheJobUpAtOnce)
{
    TScriptedServer hour;
    hour.Play(
        {TScriptedServer::Send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nRetry-After: 3600\r\n\r\n")});
    const QString url = hour.Url("/hour.jpg");
    const TProgramRun run = Import({}, {"--add", url}, 10000);
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_EQ(run.out, "Abort>Retry-After 3600 s is longer than the wait limit (300 s)\t" + url + "\n");
    EXPECT_EQ(hour.Connections(), 1);
}

// Catches --lazy-images not reaching the import: the picture behind a lazy loader's placeholder is
// fetched with it, and left alone without it.
TEST_F(TBatchImportTest, LazyImagesOptionReadsTheRealPictureWithNginx)
{
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("index.html", "<html><body><img src=\"blank.gif\" data-src=\"real.jpg\"></body></html>\n");
    nginx.WriteFile("real.jpg", QByteArray(30000, 'r'));
    const QString real = nginx.Url("/real.jpg");
    for (const bool lazy : {false, true}) {
        folder = temp.file(lazy ? "lazy" : "plain");
        QStringList args{"--import", nginx.Url("/index.html")};
        if (lazy)
            args.prepend("--lazy-images");
        const TProgramRun run = Import("", args);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(Fetched(real), lazy ? QByteArray(30000, 'r') : QByteArray("(missing)")) << lazy;
    }
    EXPECT_TRUE(RunPelmor({"--help"}).out.contains("--lazy-images"));
}
