#include "core/TSettings.h"

#include "core/TIniFile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

// A first start without a settings file must come up with the documented defaults.
TEST(TSettingsTest, MissingFileGivesDefaults)
{
    TTempFolder dir;
    TSettings s;
    s.Threads = 7;
    s.Load(TIniFile(dir.file("none.ini")));
    EXPECT_EQ(s.URL, "http://");
    EXPECT_EQ(s.Threads, 3);
    EXPECT_EQ(s.TimeOutCTR, 100);
    EXPECT_TRUE(s.LongFileNames());
    EXPECT_EQ(s.Sound1, 1);
    EXPECT_EQ(s.Sound2, 1);
    EXPECT_EQ(s.Size20KB, 1);
    EXPECT_EQ(s.Gif, 0);
    EXPECT_EQ(s.SNSize, 0);
    EXPECT_EQ(s.SRC, 1);
    EXPECT_EQ(s.MaxTries, 0) << "a failing row is retried without limit";
    EXPECT_FALSE(s.FollowsRedirects()) << "a redirect ends the job unless asked for";
    EXPECT_TRUE(s.Proxy.isEmpty() && s.Ref.isEmpty() && s.Cookie.isEmpty());
    EXPECT_EQ(s.Window.left, 35);
    EXPECT_EQ(s.Window.top, 31);
    EXPECT_EQ(s.Window.width, 710);
    EXPECT_EQ(s.Window.height, 402);
}

// The file written at close lists its keys in the fixed order, and reads back the same values.
TEST(TSettingsTest, SaveWritesKeysInOrderAndRoundTrips)
{
    TTempFolder dir;
    TSettings s;
    s.URL = QStringLiteral("http://host.example/画像$.jpg");
    s.Proxy = "proxy.example:8080";
    s.Threads = 0;
    s.FileType = 2;
    s.MaxTries = 6;
    s.FollowRedirects = 1;
    s.KairanURL = "http://notice.example/k.txt";
    s.Window = {10, 20, 640, 480, {}};
    s.CAFile = "/etc/pelmor/ca.pem";
    TIniFile out(dir.file("pelmor.ini"));
    s.Save(out);
    ASSERT_TRUE(out.UpdateFile());

    const QByteArray expected =
        "[Data]\r\nURL=http://host.example/\x89\xe6\x91\x9c$.jpg\r\nProxy=proxy.example:8080\r\nRef=\r\nCookie=\r\n"
        "Gif=0\r\nSRC=1\r\nSound1=1\r\nSound2=1\r\nSNSize=0\r\nSize20KB=1\r\nFileType=2\r\nTimeOutCTR=100\r\n"
        "Threads=0\r\nInterval=1000\r\nMaxTries=6\r\nHomePage=https://pelmor.example/\r\n"
        "KairanURL=http://notice.example/k.txt\r\nMailServer=mail.pelmor.example\r\nMailPort=25\r\n"
        "MailTo=feedback@pelmor.example\r\nMailFrom=anonymous@pelmor.example\r\nMailTimeOut=60\r\nCAFile=/etc/pelmor/ca.pem\r\nFollowRedirects=1\r\n[Window]\r\nTop=10\r\nLeft=20\r\nWidth=640\r\nHeight=480\r\n";
    EXPECT_EQ(dir.read("pelmor.ini"), expected);

    TSettings back;
    back.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_EQ(back.URL, s.URL);
    EXPECT_EQ(back.Proxy, s.Proxy);
    EXPECT_EQ(back.Threads, 0);
    EXPECT_EQ(back.MaxTries, 6);
    EXPECT_TRUE(back.FollowsRedirects());
    EXPECT_EQ(back.KairanURL, s.KairanURL);
    EXPECT_EQ(back.CAFile, s.CAFile);
    EXPECT_FALSE(back.LongFileNames());
    EXPECT_EQ(back.Window.width, 640);
}

// An edited file can hold any number; the worker slots only go from 0 to 8, the timer from 10 ms.
TEST(TSettingsTest, ThreadsOutsideTheSlotsAreClamped)
{
    TTempFolder dir;
    dir.write("a.ini", "[Data]\r\nThreads=12\r\nFileType=5\r\nTimeOutCTR=abc\r\nInterval=5\r\nMailPort=70000\r\n"
                       "MailTimeOut=0\r\n");
    dir.write("b.ini", "[data]\r\nthreads=-4\r\nMaxTries=-3\r\n");
    TSettings a, b;
    a.Load(TIniFile(dir.file("a.ini")));
    b.Load(TIniFile(dir.file("b.ini")));
    EXPECT_EQ(a.Threads, 8);
    EXPECT_EQ(b.Threads, 0);
    EXPECT_EQ(b.MaxTries, 0) << "a negative limit means none";
    EXPECT_FALSE(a.LongFileNames()) << "any FileType but 1 means short names";
    EXPECT_EQ(a.TimeOutCTR, 100) << "a damaged number falls back to the default";
    EXPECT_EQ(a.Interval, 10) << "the timer interval stays within 10..60000 ms";
    EXPECT_EQ(a.MailPort, 25) << "a port that cannot be falls back to the default";
    EXPECT_EQ(a.MailTimeOut, 1) << "a mail server is waited for at least a second";
}

// Column widths live beside the window bounds; a list with anything but widths in it is dropped whole.
TEST(TSettingsTest, ColumnWidthsRoundTripAndBadListsAreIgnored)
{
    TTempFolder dir;
    TSettings s;
    s.Window.columns = {18, 320, 50};
    TIniFile out(dir.file("pelmor.ini"));
    s.Save(out);
    ASSERT_TRUE(out.UpdateFile());
    EXPECT_TRUE(dir.read("pelmor.ini").contains("Height=402\r\nColumns=18,320,50\r\n"));
    TSettings back;
    back.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_EQ(back.Window.columns, QList<int>({18, 320, 50}));

    for (const char *bad : {"18,abc,50", "18,0,50", "18,-5", "10001", "1e3"}) {
        dir.write("bad.ini", QByteArray("[Window]\r\nColumns=") + bad + "\r\n");
        TSettings read;
        read.Load(TIniFile(dir.file("bad.ini")));
        EXPECT_TRUE(read.Window.columns.isEmpty()) << bad;
    }
}

// Catches a pacing key that an edited file gets wrong taken as it stands (no start at all, a limit
// of -1, a gap that cannot be read), a spread lost on the way through the file, and a key set back to
// its default that the file keeps at the old value.
TEST(TSettingsTest, PacingKeysRoundTripAndBadValuesReadAsToday)
{
    TTempFolder dir;
    dir.write("bad.ini", "[Data]\r\nStartsPerTick=0\r\nHostLimit=-1\r\nHostGap=fast\r\n");
    dir.write("big.ini", "[Data]\r\nStartsPerTick=10\r\nHostLimit=10\r\nHostGap=500±101%\r\n");
    for (const char *file : {"bad.ini", "big.ini", "none.ini"}) {
        TSettings s;
        s.Load(TIniFile(dir.file(file)));
        EXPECT_EQ(s.StartsPerTick, 1) << file;
        EXPECT_EQ(s.HostLimit, 0) << file;
        EXPECT_EQ(s.HostGap, THostGap{}) << file;
    }

    TSettings s;
    s.StartsPerTick = 9;
    s.HostLimit = 2;
    s.HostGap = *THostGap::Parse("500+-50%");
    TIniFile out(dir.file("pelmor.ini"));
    s.Save(out);
    ASSERT_TRUE(out.UpdateFile());
    EXPECT_TRUE(dir.read("pelmor.ini")
                    .contains("\r\nStartsPerTick=9\r\nHostLimit=2\r\nHostGap=500\x81\x7d"
                              "50%\r\n"))
        << "± in CP932";
    TSettings back;
    back.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_EQ(back.StartsPerTick, 9);
    EXPECT_EQ(back.HostLimit, 2);
    EXPECT_EQ(back.HostGap, (THostGap{500, 50}));

    back.StartsPerTick = 1;
    back.HostGap = {};
    TIniFile again(dir.file("pelmor.ini"));
    back.Save(again);
    ASSERT_TRUE(again.UpdateFile());
    TSettings reread;
    reread.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_EQ(reread.StartsPerTick, 1);
    EXPECT_EQ(reread.HostGap, THostGap{});
}

// Catches a gap read too loosely (a sign, a spread without its %, over 100%) or too strictly (spaces,
// "+-"), and a spread drawn outside its bounds.
TEST(TSettingsTest, HostGapTextAndSpread)
{
    for (const char *good : {"", "0", "500", " 500 ± 50 % ", "500+-50%", "600000±100%"})
        EXPECT_TRUE(THostGap::Parse(QString::fromUtf8(good))) << good;
    for (const char *bad : {"-5", "500±", "500±50", "500±101%", "600001", "5e2", "500ms", "±50%", "５００"})
        EXPECT_FALSE(THostGap::Parse(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(THostGap::Parse("500+-50%")->Text(), QString::fromUtf8("500±50%"));
    EXPECT_EQ(THostGap::Parse("0")->Text(), "0");
    const THostGap gap{1000, 20};
    EXPECT_EQ(gap.Draw(0.0), 800);
    EXPECT_EQ(gap.Draw(0.5), 1000);
    EXPECT_EQ(gap.Draw(0.99999), 1200);
    EXPECT_EQ((THostGap{1000, 0}).Draw(0.9), 1000);
}

// Catches the cookie file or the .netrc switch lost between runs, or written into files that never set them.
TEST(TSettingsTest, CookieFileAndNetrcRoundTripOnceSet)
{
    TTempFolder dir;
    TSettings s;
    TIniFile plain(dir.file("plain.ini"));
    s.Save(plain);
    ASSERT_TRUE(plain.UpdateFile());
    EXPECT_FALSE(dir.read("plain.ini").contains("CookieFile")) << "a file never set reads as it always did";
    EXPECT_FALSE(dir.read("plain.ini").contains("Netrc"));

    s.CookieFile = "/home/u/.mozilla/firefox/p/cookies.sqlite";
    s.Netrc = 1;
    TIniFile out(dir.file("pelmor.ini"));
    s.Save(out);
    ASSERT_TRUE(out.UpdateFile());
    EXPECT_TRUE(
        dir.read("pelmor.ini").contains("\r\nCookieFile=/home/u/.mozilla/firefox/p/cookies.sqlite\r\nNetrc=1\r\n"));
    TSettings back;
    back.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_EQ(back.CookieFile, s.CookieFile);
    EXPECT_TRUE(back.UsesNetrc());
    EXPECT_FALSE(TSettings().UsesNetrc()) << "off unless asked for";
}

// Catches a rate read too loosely (a sign, a fraction, another unit) or scaled by 1000, and a file
// whose rate cannot be read capping the program at anything.
TEST(TSettingsTest, RateLimitTextAndFallback)
{
    EXPECT_EQ(TRateCap::Parse("500K")->BytesPerSecond, 500 * 1024);
    EXPECT_EQ(TRateCap::Parse(" 2m ")->BytesPerSecond, 2 * 1024 * 1024);
    EXPECT_EQ(TRateCap::Parse("1000")->BytesPerSecond, 1000);
    EXPECT_EQ(TRateCap::Parse("")->BytesPerSecond, 0);
    for (const char *bad : {"-5", "1.5M", "500KB", "fast", "5G", "K", "2000000M", "５００K"})
        EXPECT_FALSE(TRateCap::Parse(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(TRateCap{500 * 1024}.Text(), "500K");
    EXPECT_EQ(TRateCap{2048 * 1024}.Text(), "2M");
    EXPECT_EQ(TRateCap{1000}.Text(), "1000");
    EXPECT_EQ(TRateCap{}.Text(), "0");

    TTempFolder dir;
    dir.write("bad.ini", "[Data]\r\nRateLimit=fast\r\nLazyImages=1\r\n");
    TSettings s;
    s.RateLimit = {1};
    s.Load(TIniFile(dir.file("bad.ini")));
    EXPECT_EQ(s.RateLimit, TRateCap{}) << "a rate that cannot be read is no cap";
    EXPECT_EQ(s.LazyImages, 1);

    TSettings fresh;
    TIniFile none(dir.file("none.ini"));
    fresh.Save(none);
    ASSERT_TRUE(none.UpdateFile());
    EXPECT_FALSE(dir.read("none.ini").contains("RateLimit")) << "a file never set reads as it always did";
    EXPECT_FALSE(dir.read("none.ini").contains("LazyImages"));
    s.RateLimit = *TRateCap::Parse("500k");
    TIniFile out(dir.file("pelmor.ini"));
    s.Save(out);
    ASSERT_TRUE(out.UpdateFile());
    EXPECT_TRUE(dir.read("pelmor.ini").contains("\r\nLazyImages=1\r\nRateLimit=500K\r\n"));
    TSettings back;
    back.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_EQ(back.RateLimit.BytesPerSecond, 500 * 1024);
}

// Catches the history's switches on by default or for a value other than 1, a file never set that
// gains the keys, and a choice that does not come back.
TEST(TSettingsTest, HistoryKeysAreOffUnlessOneAndWrittenOnceSet)
{
    TTempFolder dir;
    dir.write("odd.ini", "[Data]\r\nSkipDone=2\r\nDuplicates=-1\r\n");
    for (const char *file : {"odd.ini", "none.ini"}) {
        TSettings s;
        s.Load(TIniFile(dir.file(file)));
        EXPECT_FALSE(s.SkipsDone()) << file;
        EXPECT_FALSE(s.RemovesDuplicates()) << file;
    }
    TIniFile untouched(dir.file("untouched.ini"));
    TSettings().Save(untouched);
    ASSERT_TRUE(untouched.UpdateFile());
    EXPECT_FALSE(dir.read("untouched.ini").contains("SkipDone"));

    TSettings s;
    s.SkipDone = 1;
    s.Duplicates = 1;
    TIniFile out(dir.file("pelmor.ini"));
    s.Save(out);
    ASSERT_TRUE(out.UpdateFile());
    TSettings back;
    back.Load(TIniFile(dir.file("pelmor.ini")));
    EXPECT_TRUE(back.SkipsDone() && back.RemovesDuplicates());
}
