#include "core/TJobListFile.h"

#include "core/TJobListModel.h"
#include "download/UrlUtil.h"
#include "resources/TRowIcons.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include <sys/stat.h>

using namespace TJobListFile;

namespace {

const QString Data = QStringLiteral(PELMOR_TEST_DATA "/");

// A row as its list line shows it, to compare whole rows at once.
QString RowText(const TJobListModel &jobs, int row)
{
    QStringList texts{jobs.Caption(row)};
    for (int sub = 0; sub < SubItemCount; ++sub)
        texts.append(jobs.Cell(row, sub));
    return texts.join(u',');
}

} // namespace

// Catches a wrong code page, LF line ends, a running row's digit written out, part rows in the URL
// export, and a comma, line break or character CP932 lacks breaking the 13 commas of a line.
TEST(TJobListFileTest, FilesAreByteExact)
{
    TTempFolder dir;
    TJobListModel jobs;
    QString error;
    jobs.AddJob(QString::fromUtf8("http://example.jp/画像.jpg"), 0, 0, {});
    jobs.SetCaption(0, "3");
    jobs.SetCell(0, SubMessage, QString::fromUtf8("Try>Type : a,b\n한"));
    jobs.AddJob("http://h/big.zip", 100, 200, "002");
    jobs.AddJob(QString::fromUtf8("http://h/a,b\r\n한.jpg"), 0, 0, {});
    ASSERT_TRUE(SaveList(jobs, dir.file("a.wst"), &error)) << error.toStdString();
    EXPECT_EQ(dir.read("a.wst"),
              "\x81\xa6,http://example.jp/\x89\xe6\x91\x9c.jpg,-,???,-,>,-,1.1,Try>Type : a b ?,*,0,,,\r\n"
              "(..),http://h/big.zip,-,???,-,>,-,-,Ready,*,0,100,200,002\r\n"
              "(..),http://h/a%2Cb%0D%0A%ED%95%9C.jpg,-,???,-,>,-,1.1,Ready,*,0,,,\r\n");
    ASSERT_TRUE(SaveUrlText(jobs, dir.file("a.txt"), &error));
    EXPECT_EQ(dir.read("a.txt"), "http://example.jp/\x89\xe6\x91\x9c.jpg\r\nhttp://h/a%2Cb%0D%0A%ED%95%9C.jpg\r\n");
    EXPECT_EQ(LoadList(jobs, dir.file("a.txt"), {}).rows, 0) << "plain URL lines are no rows";

    TJobListModel loaded;
    QFile sample(Data + "sample.wst");
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    ASSERT_EQ(LoadList(loaded, sample.fileName(), {}).rows, 5);
    ASSERT_TRUE(SaveList(loaded, dir.file("b.wst"), &error));
    EXPECT_EQ(dir.read("b.wst"), sample.readAll()) << "a list goes through load and save unchanged";
}

// Catches lost "※" captions, icons not recomputed, case-sensitive "URL=" keys, lines of other
// kinds turned into rows, and a duplicate test applied where none belongs.
TEST(TJobListFileTest, LoadsFullRowsAndUrlLinesWithoutDuplicateTest)
{
    TJobListModel jobs;
    const TLoadReport wst = LoadList(jobs, Data + "sample.wst", {});
    EXPECT_EQ(wst.rows, 5);
    EXPECT_TRUE(wst.skippedLines == 0 && wst.error.isEmpty());
    EXPECT_EQ(RowText(jobs, 3), QString::fromUtf8("@@,HTTP://EXAMPLE.JP/ファイル①.ZIP,200,200,100.00,12:00:03,12:00:03,"
                                                  "1.1,End>Completed!,200,0,100,200,002"));
    EXPECT_EQ(jobs.Caption(1), QString::fromUtf8("※"));
    EXPECT_FALSE(jobs.IsRunningRow(1));
    const int images[] = {TRowIcons::Complete, TRowIcons::Partly, TRowIcons::NotStarted, TRowIcons::PartComplete,
                          TRowIcons::NotStarted};
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(jobs.RowImage(row), images[row]) << row;

    EXPECT_EQ(LoadList(jobs, Data + "sample.wrg", {}).rows, 2);
    EXPECT_EQ(jobs.Cell(5, SubURL), QString::fromUtf8("http://example.jp/取得/a.jpg"));
    EXPECT_EQ(RowText(jobs, 6), "(..),http://example.jp/b.jpg,-,???,-,>,-,-,Ready,-,-,,,");
    EXPECT_EQ(LoadList(jobs, Data + "sample.wst", {}).rows, 5);
    EXPECT_EQ(RowText(jobs, 10), RowText(jobs, 3));
}

// Catches https rows dropped as unknown lines on load, or written back other than they were read.
TEST(TJobListFileTest, HttpsRowsAndUrlLinesGoThroughUnchanged)
{
    TTempFolder dir;
    TJobListModel jobs;
    const QByteArray list =
        "(..),https://h.example/a.jpg,-,???,-,>,-,1.1,Ready,*,0,,,\r\n"
        "@@,HTTPS://H.EXAMPLE/big.zip,200,200,100.00,12:00:03,12:00:03,1.1,End>Completed!,200,0,100,200,002\r\n";
    const TLoadReport report = LoadList(jobs, dir.write("a.wst", list + "URL=https://h.example/b.jpg\r\n"), {});
    EXPECT_EQ(report.rows, 3);
    EXPECT_EQ(report.skippedLines, 0);
    EXPECT_EQ(RowText(jobs, 2), "(..),https://h.example/b.jpg,-,???,-,>,-,-,Ready,-,-,,,");
    QString error;
    ASSERT_TRUE(SaveList(jobs, dir.file("b.wst"), &error)) << error.toStdString();
    EXPECT_EQ(dir.read("b.wst"), list + "(..),https://h.example/b.jpg,-,???,-,>,-,-,Ready,-,-,,,\r\n");
}

// Catches "MAKE=" fields handed over shifted or trimmed, a bad number going unreported, and an
// unreadable file stopping the load without a word.
TEST(TJobListFileTest, MakeLinesAndUnreadableFiles)
{
    TTempFolder dir;
    QList<QStringList> calls;
    TJobListModel jobs;
    const auto maker = [&](const auto &...fields) {
        calls.append(QStringList{fields...});
        return calls.last()[1] != "x";
    };
    const TLoadReport report = LoadList(
        jobs,
        dir.write("m.wst",
                  "MAKE=http://h/$.jpg,1,20,3,1\r\nmake=http://h/b$.jpg,1,,3,1\nMake=http://h/c$.jpg,x,20,3,1\r\n"),
        {[](const auto &...) { return 1; }, maker});
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0], QStringList({"http://h/$.jpg", "1", "20", "3", "1"}));
    EXPECT_EQ(calls[1], QStringList({"http://h/b$.jpg", "1", "", "3", "1"}));
    EXPECT_TRUE(report.error.isEmpty());
    EXPECT_EQ(report.firstSkipped, QList<int>{3}) << "the bad number";

    for (const QString &name : {dir.file("missing.wst"), dir.path()}) {
        const TLoadReport unreadable = LoadList(jobs, name, {});
        EXPECT_TRUE(unreadable.error.contains(name) && unreadable.rows == 0) << unreadable.error.toStdString();
    }
}

// Catches a list of a few "MAKE=" lines let through to make a flood of rows, a refused list loading
// its first lines all the same, a refusal that does not say where, and a bad number (offering -1)
// lowering the total.
TEST(TJobListFileTest, ListsOfferingTooManyUrlsAreRefusedWhole)
{
    TTempFolder dir;
    int made = 0;
    const TMakeLines lines{[](const QString &, const QString &, const QString &end, const QString &, const QString &) {
                               bool number = false;
                               const int offered = end.toInt(&number);
                               return number ? offered : -1;
                           },
                           [&](const auto &...) {
                               ++made;
                               return true;
                           }};
    const int each = MaxMadeUrls / 10;
    QByteArray full = "(..),http://h/kept.jpg,-,???,-,>,-,-,Ready,-,-,,,\r\n";
    for (int i = 0; i < 10; ++i)
        full += "MAKE=http://h/$.jpg,1," + QByteArray::number(each) + ",0,1\r\n";
    TJobListModel jobs;
    TLoadReport report = LoadList(jobs, dir.write("full.wst", full), lines);
    EXPECT_TRUE(report.error.isEmpty()) << report.error.toStdString();
    EXPECT_EQ(made, 10) << "exactly the bound is taken";

    made = 0;
    jobs.AppendRow("(..)", {"http://h/before.jpg"});
    const QString over = dir.write("over.wst",
                                   full + "MAKE=http://h/$.jpg,1,x,0,1\r\n\r\nMAKE=http://h/$.jpg,1,1,0,1\r\n");
    report = LoadList(jobs, over, lines);
    EXPECT_EQ(report.error, over + ": 14 行目までの MAKE= 行で URL が " + QString::number(MaxMadeUrls + 1)
                                + " 件になり、一つのリストで作れる " + QString::number(MaxMadeUrls)
                                + " 件を超えます。リストは読み込みませんでした。");
    EXPECT_EQ(made, 0);
    EXPECT_EQ(report.rows, 0);
    EXPECT_EQ(jobs.RowCount(), 2) << "the rows there before stay, none is added";
}

// Catches a list read from a pipe losing its lines to the count of its "MAKE=" lines: a pipe is read
// once.
TEST(TJobListFileTest, ListFromAPipeLoadsWhole)
{
    TTempFolder dir;
    const QString pipe = dir.file("list.pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    std::thread writer([&] {
        QFile out(pipe);
        if (out.open(QIODevice::WriteOnly))
            out.write("MAKE=http://h/$.jpg,1,2,0,1\r\nURL=http://h/listed.jpg\r\n");
    });
    QStringList made;
    TJobListModel jobs;
    const TLoadReport report = LoadList(jobs, pipe,
                                        {[](const auto &...) { return 2; },
                                         [&](const QString &pattern, const auto &...) {
                                             made.append(pattern);
                                             return true;
                                         }});
    writer.join();
    EXPECT_TRUE(report.error.isEmpty()) << report.error.toStdString();
    EXPECT_EQ(made, QStringList{"http://h/$.jpg"});
    ASSERT_EQ(jobs.RowCount(), 1);
    EXPECT_EQ(jobs.Cell(0, SubURL), "http://h/listed.jpg");
}

// Catches a damaged line turned into a job (a URL cut at a NUL, bytes CP932 lacks read as other
// text, an empty "URL=", a local path to fetch into), damage going unreported or numbered wrongly, good lines around it lost,
// and a line of megabytes kept whole or shifting the count.
TEST(TJobListFileTest, DamagedLinesAreCountedAndNeverBecomeJobs)
{
    TTempFolder dir;
    TJobListModel jobs;
    const TLoadReport sample = LoadList(jobs, Data + "damaged.wst", {});
    ASSERT_EQ(sample.rows, 3);
    EXPECT_EQ(jobs.Cell(0, SubURL), "http://example.jp/ok.jpg");
    EXPECT_EQ(jobs.Cell(1, SubURL), QString::fromUtf8("http://example.jp/取得.jpg"));
    EXPECT_EQ(jobs.Cell(2, SubMessage), "<FILE>") << "only local rows that would be fetched are damage";
    EXPECT_EQ(sample.skippedLines, 9);
    EXPECT_EQ(SkippedLineNumbers(sample), QString::fromUtf8("2, 3, 4, 6, 8, …"));

    // A row of the longest line: its URL within the rule's bound, a long message filling the rest.
    const QByteArray head = "(..),http://h/" + QByteArray(UrlUtil::MaxUrlBytes - 13, 'a') + ".jpg,-,???,-,>,-,1.1,";
    const QByteArray tail = ",*,0,,,";
    const QByteArray good = head + QByteArray(MaxLineBytes - head.size() - tail.size(), 'M') + tail;
    ASSERT_EQ(good.size(), MaxLineBytes);
    const QByteArray lines[] = {good, good + 'a', "URL=http://h/x.jpg" + QByteArray(8 << 20, 'x'),
                                "URL=http://h/end.jpg"};
    jobs.Clear();
    const TLoadReport longLines =
        LoadList(jobs, dir.write("long.wst", QByteArrayList(std::begin(lines), std::end(lines)).join("\r\n")), {});
    EXPECT_EQ(longLines.firstSkipped, QList<int>({2, 3}));
    ASSERT_EQ(jobs.RowCount(), 2);
    EXPECT_EQ(jobs.Cell(1, SubURL), "http://h/end.jpg");

    std::mt19937 random(8);
    QByteArray junk(1 << 16, 0);
    std::generate(junk.begin(), junk.end(), [&] { return char(random()); });
    const TLoadReport binary = LoadList(jobs, dir.write("junk.wst", junk), {});
    EXPECT_EQ(binary.rows, 0);
    const QByteArrayList junkLines = junk.split('\n');
    const auto nonBlank = std::count_if(junkLines.cbegin(), junkLines.cend(),
                                        [](const QByteArray &line) { return !line.trimmed().isEmpty(); });
    // Only a rare short piece happens to be text, and then a line of no known kind.
    EXPECT_GT(binary.skippedLines, nonBlank * 95 / 100);
    EXPECT_EQ(LoadList(jobs, dir.write("zero.wst", QByteArray(100000, 0)), {}).firstSkipped, QList<int>{1});
}

// Catches cells that a save writes but a load refuses: a control character in a server's text
// would lose the whole row at the next start.
TEST(TJobListFileTest, SavedControlCharactersLoadBack)
{
    TTempFolder dir;
    TJobListModel jobs;
    jobs.AddJob(QStringLiteral(u"http://h/a\u0001b\u007f\u0085.jpg"), 0, 0, {});
    jobs.SetCell(0, SubMessage, QStringLiteral(u"Try>\u001b[2J") + QChar(0) + QStringLiteral(u"x\tend"));
    QString error;
    ASSERT_TRUE(SaveList(jobs, dir.file("c.wst"), &error)) << error.toStdString();
    TJobListModel loaded;
    const TLoadReport report = LoadList(loaded, dir.file("c.wst"), {});
    EXPECT_EQ(report.skippedLines, 0);
    ASSERT_EQ(report.rows, 1);
    EXPECT_EQ(loaded.Cell(0, SubURL), "http://h/a%01b%7F%C2%85.jpg");
    EXPECT_EQ(loaded.Cell(0, SubMessage), "Try> [2J x\tend");
}

// Catches a failed save reported as success or leaving the user's list truncated.
TEST(TJobListFileTest, FailedSaveKeepsTheOldFile)
{
    TTempFolder dir;
    TJobListModel jobs;
    for (int i = 0; i < 200; ++i)
        jobs.AddJob(QStringLiteral("http://h/%1.jpg").arg(i), 0, 0, {});
    QString error;
    const QString nowhere = dir.write("plain", "a file, not a folder") + "/list.wst";
    EXPECT_FALSE(SaveList(jobs, nowhere, &error));
    EXPECT_TRUE(error.contains(nowhere)) << error.toStdString();

    const QByteArray old = "(..),http://h/old.jpg,-,???,-,>,-,1.1,Ready,*,0,,,\r\n";
    dir.write("list.wst", old);
    error.clear();
    EXPECT_FALSE([&] {
        const TFileSizeLimit diskFull(4096);
        return SaveList(jobs, dir.file("list.wst"), &error);
    }());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dir.read("list.wst"), old);
}

// Catches a part's version record lost between runs, a record on rows that are no parts, lists of
// old (or of the Windows program) no longer read, and a saved record that could break a request line.
TEST(TJobListFileTest, PartsKeepTheirVersionRecordAndOldListsStillLoad)
{
    TTempFolder dir;
    TJobListModel jobs;
    QString error;
    jobs.AddJob("http://h/big.zip", 0, 500, "001", "1000 Last-Modified=Wed%2C%2021%20Oct%202015");
    jobs.AddJob("http://h/big.zip", 500, 1000, "002");
    jobs.AddJob("http://h/a.jpg", 0, 0, {}, "1000 ETag=%22v1%22");
    ASSERT_TRUE(SaveList(jobs, dir.file("a.wst"), &error)) << error.toStdString();
    EXPECT_EQ(dir.read("a.wst"), "(..),http://h/big.zip,-,???,-,>,-,-,Ready,*,0,0,500,001,"
                                 "1000 Last-Modified=Wed%2C%2021%20Oct%202015\r\n"
                                 "(..),http://h/big.zip,-,???,-,>,-,-,Ready,*,0,500,1000,002\r\n"
                                 "(..),http://h/a.jpg,-,???,-,>,-,1.1,Ready,*,0,,,\r\n");
    dir.write("b.wst",
              dir.read("a.wst") + "(..),http://h/c.zip,-,???,-,>,-,-,Ready,*,0,0,9,001,9 ETag=%0D%0AX:%20y\r\n");
    TJobListModel loaded;
    ASSERT_EQ(LoadList(loaded, dir.file("b.wst"), {}).rows, 4);
    EXPECT_EQ(loaded.Version(0), "1000 Last-Modified=Wed%2C%2021%20Oct%202015");
    EXPECT_EQ(loaded.Version(1), "");
    EXPECT_EQ(loaded.Version(3), "") << "a record whose value holds a line break is none";
    EXPECT_EQ(loaded.Cell(0, SubDiv), "001");
}
