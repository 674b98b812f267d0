#include "core/TIniFile.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

const QString Japanese = QString::fromUtf8("画像①～");
const QByteArray JapaneseCp932("\x89\xe6\x91\x9c\x87\x40\x81\x60");

} // namespace

// Catches a crash or garbage on files that are missing, binary or not valid CP932.
TEST(TIniFileTest, MissingOrDamagedFilesGiveWhatCanBeRead)
{
    TTempFolder dir;
    const TIniFile missing(dir.file("none.ini"));
    EXPECT_EQ(missing.ReadString("Data", "URL", "http://"), "http://");
    EXPECT_EQ(missing.ReadInteger("Data", "Threads", 3), 3);

    static const char junk[] = "\x00\xff\x81[junk\n[Data]\nno equals\nBad=\x81\nThreads=7\n\xfe\xfe";
    const TIniFile damaged(dir.write("bad.ini", QByteArray(junk, sizeof junk - 1)));
    EXPECT_EQ(damaged.ReadInteger("Data", "Threads", 3), 7);
    EXPECT_EQ(damaged.ReadString("Data", "no equals", "d"), "d");
}

// Catches a wrong code page, LF line ends, or keys written out of order in a new file.
TEST(TIniFileTest, NewFileIsCp932WithKeysInWriteOrder)
{
    TTempFolder dir;
    TIniFile ini(dir.file("pelmor.ini"));
    ini.WriteString("Data", "URL", Japanese);
    ini.WriteInteger("Window", "Top", 31);
    ini.WriteInteger("Data", "Threads", -2);
    QString error;
    ASSERT_TRUE(ini.UpdateFile(&error)) << error.toStdString();
    EXPECT_EQ(dir.read("pelmor.ini"), "[Data]\r\nURL=" + JapaneseCp932 + "\r\nThreads=-2\r\n[Window]\r\nTop=31\r\n");
    const TIniFile reread(ini.FileName());
    EXPECT_EQ(reread.ReadString("data", "url", ""), Japanese);
    EXPECT_EQ(reread.ReadInteger("DATA", "THREADS", 0), -2);
}

// Catches an update that drops comments, unknown keys, damaged lines or moves the changed key.
TEST(TIniFileTest, UpdateKeepsEverythingItDidNotChange)
{
    TTempFolder dir;
    const QByteArray before = "; settings\n[Data]\nUnknown=\x81\n  url = old \n\n[Window]\r\nTop=1\r\n";
    TIniFile ini(dir.write("a.ini", before));
    ini.WriteString("Data", "URL", "new");
    ini.WriteString("Data", "Proxy", "p:8080");
    ini.WriteString("Extra", "Key", "v");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(dir.read("a.ini"), "; settings\r\n[Data]\r\nUnknown=\x81\r\nURL=new\r\nProxy=p:8080\r\n\r\n"
                                 "[Window]\r\nTop=1\r\n[Extra]\r\nKey=v\r\n");
}

// Catches names matched by case, untrimmed or still-quoted values, the wrong duplicate, and
// values that a write/read cycle would change.
TEST(TIniFileTest, NamesAndValuesFollowProfileRules)
{
    TTempFolder dir;
    TIniFile ini(dir.write("b.ini", "[ data ]\n Ref = \"  quoted \" \nREF=second\n;Gif=5\n"
                                    "A=abc\nB=\nC= 12 \n"));
    EXPECT_EQ(ini.ReadString("Data", "ref", "d"), "  quoted ");
    EXPECT_EQ(ini.ReadInteger("Data", "Gif", 1), 1);
    EXPECT_EQ(ini.ReadInteger("Data", "A", 9), 9);
    EXPECT_EQ(ini.ReadInteger("Data", "B", 9), 9);
    EXPECT_EQ(ini.ReadString("Data", "B", "d"), "");
    EXPECT_EQ(ini.ReadInteger("Data", "C", 9), 12);

    for (const QString value : {" padded ", "\"quoted\"", "\""}) {
        ini.WriteString("Data", "V", value);
        ASSERT_TRUE(ini.UpdateFile());
        EXPECT_EQ(TIniFile(ini.FileName()).ReadString("Data", "V", ""), value);
    }
    ini.WriteString("Data", "V", "a\r\n[Window]\nTop=-9999");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(TIniFile(ini.FileName()).ReadInteger("Window", "Top", 31), 31);
}

// Catches a failed write reported as success or leaving the user's file truncated.
TEST(TIniFileTest, FailedUpdateReportsAndKeepsOldFile)
{
    TTempFolder dir;
    TIniFile firstRun(dir.file("new/config/x.ini"));
    firstRun.WriteString("Data", "URL", "x");
    EXPECT_TRUE(firstRun.UpdateFile()) << "a missing configuration folder is made";

    TIniFile nowhere(dir.write("plain", "a file, not a folder") + "/x.ini");
    nowhere.WriteString("Data", "URL", "x");
    QString error;
    EXPECT_FALSE(nowhere.UpdateFile(&error));
    EXPECT_TRUE(error.contains("x.ini"));

    // A write that runs out of room half way, which even root cannot override.
    const QByteArray old = "[Data]\r\nURL=old\r\n";
    TIniFile ini(dir.write("c.ini", old));
    ini.WriteString("Data", "URL", QString(100000, u'x'));
    error.clear();
    bool written = true;
    {
        const TFileSizeLimit limit(4096);
        written = ini.UpdateFile(&error);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dir.read("c.ini"), old);
}
