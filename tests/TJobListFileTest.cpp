#include "FileSizeLimit.h"
#include "TJobListFile.h"
#include "TJobListModel.h"
#include "TRowIcons.h"
#include "TempFolder.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString DataFile(const QString &name)
{
    return QStringLiteral(PELMOR_TEST_DATA "/") + name;
}

QByteArray Bytes(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TJobListFile::TLoadReport Load(TJobListModel &jobs, const QString &fileName)
{
    return TJobListFile::LoadList(jobs, fileName, {});
}

// A row as its list line shows it, to compare whole rows at once.
QString RowText(const TJobListModel &jobs, int row)
{
    QStringList texts{jobs.Caption(row)};
    for (int sub = 0; sub < SubItemCount; ++sub)
        texts.append(jobs.Cell(row, sub));
    return texts.join(u',');
}

} // namespace

// Catches a wrong code page, LF line ends, a running row's digit written out, part rows in the
// URL export, and a comma, line break or character CP932 lacks breaking or garbling a line: every
// reader of the format relies on exactly 13 commas.
TEST(TJobListFileTest, FilesAreByteExact)
{
    TTempFolder dir;
    TJobListModel jobs;
    jobs.AddJob(QString::fromUtf8("http://example.jp/画像.jpg"), 0, 0, {});
    jobs.SetCaption(0, "3");
    jobs.SetCell(0, SubMessage, QString::fromUtf8("Try>Type : a,b\n한"));
    jobs.AddJob("http://h/big.zip", 100, 200, "002");
    jobs.AddJob(QString::fromUtf8("http://h/a,b\r\n한.jpg"), 0, 0, {});
    QString error;
    ASSERT_TRUE(TJobListFile::SaveList(jobs, dir.file("a.wst"), &error)) << error.toStdString();
    EXPECT_EQ(dir.read("a.wst"), "\x81\xa6,http://example.jp/\x89\xe6\x91\x9c.jpg,-,???,-,>,-,1.1,Try>Type : a b ?,*,0,,,\r\n"
                                 "(..),http://h/big.zip,-,???,-,>,-,-,Ready,*,0,100,200,002\r\n"
                                 "(..),http://h/a%2Cb%0D%0A%ED%95%9C.jpg,-,???,-,>,-,1.1,Ready,*,0,,,\r\n");
    ASSERT_TRUE(TJobListFile::SaveUrlText(jobs, dir.file("a.txt"), &error));
    EXPECT_EQ(dir.read("a.txt"), "http://example.jp/\x89\xe6\x91\x9c.jpg\r\nhttp://h/a%2Cb%0D%0A%ED%95%9C.jpg\r\n");
    EXPECT_EQ(Load(jobs, dir.file("a.txt")).rows, 0) << "plain URL lines are no rows";

    TJobListModel loaded;
    ASSERT_EQ(Load(loaded, DataFile("sample.wst")).rows, 5);
    ASSERT_TRUE(TJobListFile::SaveList(loaded, dir.file("b.wst"), &error));
    EXPECT_EQ(dir.read("b.wst"), Bytes(DataFile("sample.wst"))) << "a list goes through load and save unchanged";
}

// Catches lost "※" captions, icons not recomputed, case-sensitive "URL=" keys, lines of other
// kinds turned into rows, and a duplicate test applied where none belongs.
TEST(TJobListFileTest, LoadsFullRowsAndUrlLinesWithoutDuplicateTest)
{
    TJobListModel jobs;
    const TJobListFile::TLoadReport wst = Load(jobs, DataFile("sample.wst"));
    EXPECT_EQ(wst.rows, 5);
    EXPECT_EQ(wst.skippedLines, 0);
    EXPECT_TRUE(wst.error.isEmpty());
    EXPECT_EQ(RowText(jobs, 3), QString::fromUtf8("@@,HTTP://EXAMPLE.JP/ファイル①.ZIP,200,200,100.00,12:00:03,12:00:03,"
                                                  "1.1,End>Completed!,200,0,100,200,002"));
    EXPECT_EQ(jobs.Caption(1), QString::fromUtf8("※"));
    EXPECT_FALSE(jobs.IsRunningRow(1));
    const int images[] = {TRowIcons::Complete, TRowIcons::Partly, TRowIcons::NotStarted, TRowIcons::PartComplete,
                          TRowIcons::NotStarted};
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(jobs.RowImage(row), images[row]) << row;

    EXPECT_EQ(Load(jobs, DataFile("sample.wrg")).rows, 2);
    EXPECT_EQ(jobs.Cell(5, SubURL), QString::fromUtf8("http://example.jp/取得/a.jpg"));
    EXPECT_EQ(RowText(jobs, 6), "(..),http://example.jp/b.jpg,-,???,-,>,-,-,Ready,-,-,,,");

    EXPECT_EQ(Load(jobs, DataFile("sample.wst")).rows, 5);
    EXPECT_EQ(RowText(jobs, 10), RowText(jobs, 3));
}

// Catches "MAKE=" fields handed over shifted or trimmed, and a bad number stopping the load or
// going unreported.
TEST(TJobListFileTest, MakeLinesGoToTheMaker)
{
    TTempFolder dir;
    dir.write("m.wst", "MAKE=http://h/$.jpg,1,20,3,1\r\nmake=http://h/b$.jpg,1,,3,1\r\n"
                       "Make=http://h/c$.jpg,x,20,3,1\r\nURL=http://h/after.jpg\r\n");
    QList<QStringList> calls;
    TJobListModel jobs;
    const TJobListFile::TLoadReport report = TJobListFile::LoadList(
        jobs, dir.file("m.wst"), [&](const QString &url, const QString &start, const QString &end,
                                     const QString &length, const QString &step) {
            calls.append({url, start, end, length, step});
            jobs.AddJob(url, 0, 0, {});
            return start != "x";
        });
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0], QStringList({"http://h/$.jpg", "1", "20", "3", "1"}));
    EXPECT_EQ(calls[1], QStringList({"http://h/b$.jpg", "1", "", "3", "1"}));
    EXPECT_EQ(report.skippedLines, 1);
    EXPECT_EQ(report.rows, 4) << "rows the maker appended count too";
    EXPECT_EQ(jobs.Cell(3, SubURL), "http://h/after.jpg");
}

// Catches a crash, a stopped load or a dropped row on damaged input, and an unreadable file
// reported as an empty list.
TEST(TJobListFileTest, DamagedOrUnreadableFilesKeepWhatCanBeRead)
{
    TTempFolder dir;
    static const char damaged[] =
        "(..),http://h/a.jpg,-,???,-,>,-,1.1,Re\xff" "ady,*,0,,,\x81\r\n"
        "(..),http://h/long.jpg,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23\r\n"
        "\x00\x01\xfe\x81\r\r\x1a\xff,,\x00\x80\x9f\n"
        "  \t \r\n"
        "url=http://h/b.jpg\n";
    dir.write("bad.wst", QByteArray(damaged, sizeof damaged - 1));
    TJobListModel jobs;
    const TJobListFile::TLoadReport report = Load(jobs, dir.file("bad.wst"));
    EXPECT_TRUE(report.error.isEmpty());
    EXPECT_EQ(report.skippedLines, 1) << "the line of 25 fields";
    ASSERT_EQ(report.rows, 2);
    EXPECT_EQ(jobs.Cell(0, SubMessage), QString::fromUtf8("Re\x1a" "ady"));
    EXPECT_EQ(jobs.Cell(0, SubDiv), QString::fromUtf8("\x1a")) << "a cut-off character leaves a mark";
    EXPECT_EQ(jobs.Cell(1, SubURL), "http://h/b.jpg");

    for (const QString &name : {dir.file("missing.wst"), dir.path()}) {
        const TJobListFile::TLoadReport unreadable = Load(jobs, name);
        EXPECT_TRUE(unreadable.error.contains(name)) << unreadable.error.toStdString();
        EXPECT_EQ(unreadable.rows, 0);
    }
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
    EXPECT_FALSE(TJobListFile::SaveList(jobs, nowhere, &error));
    EXPECT_TRUE(error.contains(nowhere)) << error.toStdString();

    const QByteArray old = "(..),http://h/old.jpg,-,???,-,>,-,1.1,Ready,*,0,,,\r\n";
    dir.write("list.wst", old);
    error.clear();
    bool saved = true;
    {
        const TFileSizeLimit limit(4096);
        saved = TJobListFile::SaveList(jobs, dir.file("list.wst"), &error);
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dir.read("list.wst"), old);
}
