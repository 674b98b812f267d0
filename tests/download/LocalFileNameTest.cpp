#include "download/LocalFileName.h"

#include "download/UrlUtil.h"

#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

// Every URL must map to a file directly below tmp: the naming rules where they give a usable name,
// the fallback otherwise, and the part text after either.
TEST(LocalFileNameTest, NamingRulesWithFallback)
{
    const QString tmp = "/p/tmp/";
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example/d/a01.jpg", true), tmp + "hh_example_d_a01.jpg");
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example/d/a01.jpg", false) + LocalFileName::PartText("003"),
              tmp + "a01.jpg003");
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example/cgi/v.cgi?id=5", false), tmp + "v.cgi?id=5")
        << "short names keep their query text";

    // No long name for a query or a missing extension: the flattened URL instead.
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example/cgi/v.cgi?id=5&p=/x", true),
              tmp + "hh_example_cgi_v_cgi_id=5&p=_x");
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example/dir/", true), tmp + "hh_example_dir_");
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example/..", false), tmp + "hh_example___");
    EXPECT_EQ(LocalFileName::For("/p", "ftp://f.example/pub/", true), tmp + "ff_example_pub_");
    EXPECT_EQ(LocalFileName::For("/p", "file://pics/a.jpg", true), "/p/pics/a.jpg") << "relative to the program folder";
    EXPECT_EQ(LocalFileName::For("/p", "file:///home/u/a.jpg", false), "/home/u/a.jpg");
    EXPECT_EQ(LocalFileName::PartText("/../../x"), "_______x")
        << "a part text from a damaged list cannot lead the file out of tmp";
}

// Over-long names are cut, and two long URLs that differ only at the end still get two files.
TEST(LocalFileNameTest, LongUrlsStayDistinctAndShort)
{
    const QString stem = "http://h.example/" + QString(400, 'a') + "?page=";
    const QString one = LocalFileName::For("/p", stem + "1", true);
    const QString two = LocalFileName::For("/p", stem + "2", true);
    EXPECT_NE(one, two);
    for (const QString &path : {one, two}) {
        const QString name = path.mid(7);
        EXPECT_TRUE(path.startsWith("/p/tmp/"));
        EXPECT_FALSE(name.contains('/'));
        EXPECT_LE(name.toUtf8().size(), 247);
    }
}

// Catches an https URL whose file differs from its http twin's when the fallback or the digest names it.
TEST(LocalFileNameTest, HttpsKeepsTheHttpNames)
{
    const QString longQuery = "h.example/" + QString(400, 'a') + "?page=1";
    for (const QString &rest :
         QStringList{"h.example/d/a01.jpg", "h.example/cgi/v.cgi?id=5", "h.example/..", longQuery})
        for (const bool longNames : {true, false})
            EXPECT_EQ(LocalFileName::For("/p", "https://" + rest, longNames),
                      LocalFileName::For("/p", "http://" + rest, longNames))
                << rest.left(40).toStdString() << longNames;
}

// Catches the colons of an IPv6 address carried into a local name, in either form, and other hosts'
// names changed with them.
TEST(LocalFileNameTest, IPv6HostsGiveSafeNames)
{
    const QString tmp = "/p/tmp/";
    EXPECT_EQ(LocalFileName::For("/p", "http://[::1]:8080/d/a.jpg", true), tmp + "h[__1]_8080_d_a.jpg");
    EXPECT_EQ(LocalFileName::For("/p", "http://u:p@[fe80::1]/a.jpg", true), tmp + "h[fe80__1]_a.jpg");
    EXPECT_EQ(LocalFileName::For("/p", "http://[::1]:8080/d/a.jpg", false), tmp + "a.jpg");
    EXPECT_EQ(LocalFileName::For("/p", "http://[::1]:8080", false), tmp + "[__1]_8080");
    EXPECT_EQ(LocalFileName::For("/p", "http://h.example:8080/a.jpg", true), tmp + "hh_example:8080_a.jpg");
}

// Catches a digest name that drops the kind of the file (viewers, plug-ins and file managers go by
// the extension), or that takes one from the query or an unsafe or overlong "extension".
TEST(LocalFileNameTest, DigestNamesKeepASafeExtension)
{
    const QString deep = "http://h.example/" + QString(150, 'd') + "/" + QString(150, 'e') + "/pic";
    const QString name = LocalFileName::For("/p", deep + ".jpg", true).mid(7);
    EXPECT_TRUE(name.endsWith(".jpg")) << name.toStdString();
    EXPECT_LE(name.toUtf8().size(), 247);
    EXPECT_EQ(name.count('.'), 1);
    EXPECT_TRUE(LocalFileName::For("/p", deep + ".JPEG", false).endsWith(".JPEG")) << "the short form too";
    EXPECT_NE(LocalFileName::For("/p", deep + ".jpg", true), LocalFileName::For("/p", deep + "2.jpg", true));

    const QList<QStringList> tails{
        {"?f=a.jpg", ""}, {".php?f=a.jpg", ".php"}, {".png#x.gif", ".png"}, {"/", ""}, {"", ""},
        {".j:g", ""},     {".extension9", ""},      {".jp g", ""}};
    for (const QStringList &tail : tails) {
        const QString path = LocalFileName::For("/p", deep + tail[0], true);
        const qsizetype dot = path.lastIndexOf('.');
        EXPECT_EQ(dot < 0 ? QString() : path.mid(dot), tail[1]) << tail[0].toStdString();
    }
}

// Catches a name shortened a character at a time (minutes of CPU for a URL of megabytes), a cut
// inside a UTF-8 character, and a NUL or other control character in a returned path, which would
// end the name early on its way to the file system and make it another job's file.
TEST(LocalFileNameTest, HugeOrControlUrlsGiveShortSafeNames)
{
    for (const qsizetype size : {qsizetype(1) << 20, qsizetype(10) << 20}) {
        const QString name = LocalFileName::For("/p", "http://h.example/" + QString(size, 'a') + ".jpg", true).mid(7);
        EXPECT_TRUE(name.startsWith("hh_example_aaa") && name.endsWith(".jpg")) << name.left(80).toStdString();
        EXPECT_LE(name.toUtf8().size(), 247);
    }
    const QString wide = LocalFileName::For("/p", "http://h.example/?q=" + QString(300, QChar(0x3042)), true).mid(7);
    EXPECT_EQ(QString::fromUtf8(wide.toUtf8()), wide);
    EXPECT_GE(wide.toUtf8().size(), 245) << "cut once, as close to the bound as whole characters allow";
    EXPECT_LE(wide.toUtf8().size(), 247);

    const QString nul = QString("http://h.example/victim.jpg") + QChar(0) + "x";
    const QString controls = QString("http://h.example/a") + QChar(1) + QChar(0x9b) + "b.jpg";
    for (const QString &url : {nul, controls})
        for (const bool longNames : {true, false})
            for (const QString &folder : {QString("/p"), QString("/p") + QChar(0x1b)}) {
                const QString path = LocalFileName::For(folder, url, longNames)
                                     + LocalFileName::PartText(QString("0") + QChar(0) + "1");
                EXPECT_FALSE(std::any_of(path.cbegin(), path.cend(), UrlUtil::IsControl)) << path.toStdString();
            }
    EXPECT_NE(LocalFileName::For("/p", nul, true), LocalFileName::For("/p", "http://h.example/victim.jpg", true));
    EXPECT_NE(LocalFileName::For("/p", nul, false), LocalFileName::For("/p", "http://h.example/victim.jpg", false));
}

// Catches two URLs of one list written to one file (the later row told "the file exists" and given
// the earlier one's bytes) or one finishing in the other's partial file, a first claimant that loses
// today's name, names that change from one
// naming of the same list to the next, and a distinct name that drops the file's kind.
TEST(LocalFileNameTest, RowsOfOneListNeverShareAFile)
{
    const QString tmp = "/p/tmp/";
    const QStringList meeting{"http://h/a/b.jpg", "http://h/a_b.jpg", "http://h/a.b.jpg"};
    for (const QString &url : meeting)
        ASSERT_EQ(LocalFileName::For("/p", url, true), tmp + "hh_a_b.jpg") << "the three names meet";

    LocalFileName::TClaims claims("/p", true);
    QStringList files;
    for (const QString &url : meeting)
        files.append(claims.Claim(url));
    EXPECT_EQ(files[0], tmp + "hh_a_b.jpg");
    for (const QString &file : files.mid(1)) {
        EXPECT_TRUE(file.startsWith(tmp + "hh_a_b~") && file.endsWith(".jpg")) << file.toStdString();
        EXPECT_EQ(file.size(), files[0].size() + 9) << "a tilde and eight hex digits";
    }
    EXPECT_EQ(QSet<QString>(files.cbegin(), files.cend()).size(), 3);
    EXPECT_EQ(claims.Claim(meeting[1]), files[1]) << "a URL met again keeps its file";
    EXPECT_EQ(claims.Claim("https://h/a.b.jpg"), files[2]) << "the https twin is the same URL";

    LocalFileName::TClaims again("/p", true);
    for (int i = 0; i < meeting.size(); ++i)
        EXPECT_EQ(again.Claim(meeting[i]), files[i]) << "the same list, the same names";

    // A URL whose own name is an earlier URL's distinct name is kept apart from it too.
    const QString forged = "http://h/" + files[1].mid(tmp.size() + 3);
    ASSERT_EQ(LocalFileName::For("/p", forged, true), files[1]);
    const QString third = claims.Claim(forged);
    EXPECT_FALSE(files.contains(third)) << third.toStdString();

    // A name that is another URL's partial file would have the two mix their bytes, whichever comes first.
    for (const QStringList &order :
         {QStringList{"http://h/p.jpg", "http://h/p.jpg_"}, {"http://h/p.jpg_", "http://h/p.jpg"}}) {
        LocalFileName::TClaims partial("/p", true);
        const QString earlier = partial.Claim(order[0]);
        const QString later = partial.Claim(order[1]);
        EXPECT_EQ(earlier, LocalFileName::For("/p", order[0], true));
        EXPECT_TRUE(later != earlier + "_" && later + "_" != earlier) << later.toStdString();
    }

    // Short names meet far more often: the same picture name in two folders.
    LocalFileName::TClaims shortNames("/p", false);
    EXPECT_EQ(shortNames.Claim("http://h/x/001.jpg"), tmp + "001.jpg");
    const QString other = shortNames.Claim("http://h/y/001.jpg");
    EXPECT_TRUE(other.startsWith(tmp + "001~") && other.endsWith(".jpg")) << other.toStdString();
    EXPECT_EQ(shortNames.Claim("file://tmp/001.jpg"), tmp + "001.jpg") << "a local file is the user's own";
    EXPECT_EQ(shortNames.Claim("http://h/z/001.jpg").size(), other.size());
}

// Catches a distinct name longer than a file name may be, one that takes an "extension" from a query,
// and another try that gives the same name again.
TEST(LocalFileNameTest, DistinctNamesFitAndKeepOnlySafeExtensions)
{
    const QString url = "http://h/x.jpg";
    const QString full = "/p/tmp/" + QString(240, QChar(0x3042)) + ".jpeg";
    const QString cut = LocalFileName::Distinct(full, url, 0);
    EXPECT_TRUE(cut.endsWith(".jpeg")) << cut.right(20).toStdString();
    EXPECT_LE(cut.mid(7).toUtf8().size(), 247);
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut) << "never cut inside a character";

    const QString query = LocalFileName::Distinct("/p/tmp/v.cgi?id=5", url, 0);
    EXPECT_TRUE(query.startsWith("/p/tmp/v.cgi?id=5~")) << query.toStdString();
    EXPECT_EQ(query.size(), QString("/p/tmp/v.cgi?id=5~").size() + 8);
    EXPECT_NE(LocalFileName::Distinct("/p/tmp/a.jpg", url, 1), LocalFileName::Distinct("/p/tmp/a.jpg", url, 0));
    EXPECT_NE(LocalFileName::Distinct("/p/tmp/a.jpg", url, 0), LocalFileName::Distinct("/p/tmp/a.jpg", url + "2", 0));
}
