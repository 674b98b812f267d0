#include "download/UrlUtil.h"

#include "tests/support/TempFolder.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <stdexcept>

using U = UrlUtil;

// Catches names escaping tmp, lost extension case, an extension taken from the first dot, scheme
// case sensitivity and credentials in names.
TEST(UrlUtilTest, LongFileNameFlattensHostAndPath)
{
    EXPECT_EQ(U::SetFileName("C:/prog", "http://host.example/dir/img001.JPG"),
              "C:/prog/tmp/hhost_example_dir_img001.JPG");
    EXPECT_EQ(U::SetFileName("/p", "HTTP://host.example/a.gif"), "/p/tmp/hhost_example_a.gif");
    EXPECT_EQ(U::SetFileName("/p", "http://host.example/d/a.b.jpg"), "/p/tmp/hhost_example_d_a_b.jpg")
        << "the extension starts at the last dot";
    EXPECT_EQ(U::SetFileName("/p", "http://user:pw@host.example/a.gif"), "/p/tmp/hhost_example_a.gif");
    EXPECT_EQ(U::SetFileName("/p", "ftp://host.example/pub/a.zip"), "/p/tmp/fhost_example_pub_a.zip");
    EXPECT_EQ(U::SetFileName("/p", "http://host.example/a.gif \r\n"), "/p/tmp/hhost_example_a.gif");
    EXPECT_EQ(U::SetFileName("/p", "http://host.example/cgi?a.jpg"), "");
    EXPECT_EQ(U::SetFileName("/p", "http://host/dir/file"), "");
    EXPECT_EQ(U::SetFileName("/p", "FILE://pics/a.jpg"), "");
}

// Catches local paths made relative by mistake, or made absolute where lists meant the program folder.
TEST(UrlUtilTest, FileUrlsNameTheLocalFileInBothForms)
{
    for (auto name : {&U::SetFileName, &U::SetFileNameS}) {
        EXPECT_EQ(name("/p", "file://tmp/a.jpg"), "./tmp/a.jpg");
        EXPECT_EQ(name("/p", "file:///home/u/a.jpg"), "/home/u/a.jpg");
        EXPECT_EQ(name("/p", "file://C:/pics/a.jpg"), "C:/pics/a.jpg");
    }
}

TEST(UrlUtilTest, ShortFileNameKeepsLastSegmentOrFallsBack)
{
    EXPECT_EQ(U::SetFileNameS("/p", "http://host.example/dir/a.cgi?n=1"), "/p/tmp/a.cgi?n=1");
    EXPECT_EQ(U::SetFileNameS("/p", "http://host.example/dir/"), "/p/tmp/Default.dat");
    EXPECT_EQ(U::SetFileNameS("/p", "noslash"), "/p/tmp/Default.dat");
}

TEST(UrlUtilTest, ExtensionAndNormalisedUrls)
{
    EXPECT_EQ(U::GetFilePathEx(" http://h.example/a/B.JpG "), ".JpG");
    EXPECT_EQ(U::GetFilePathEx("http://host.example/dir/"), ".example/dir/");
    EXPECT_EQ(U::GetFilePathEx("http://h/a.jpg?x=1"), "");
    EXPECT_EQ(U::ParseTrueURL("http://host.example"), "http://host.example/");
    EXPECT_EQ(U::ParseTrueURL("http://host.example/dir"), "http://host.example/dir/");
    EXPECT_EQ(U::ParseTrueURL("http://localhost/dir/"), "http://localhost/dir/"); // no "//" at the end
    EXPECT_EQ(U::ParseTrueURL(" http://h/s?q=dir "), "http://h/s?q=dir");
    EXPECT_EQ(U::ParseCuURL("http://host.example/a/page.html"), "http://host.example/a/");
    EXPECT_EQ(U::ParseCuURL("http://h/cgi/view.cgi?path=/x/y"), "http://h/cgi/");
    EXPECT_EQ(U::ParseCuURL("http://h.example?id=1"), "http://h.example/");
    EXPECT_EQ(U::ParseCuURL("a.txt"), "");
}

// Catches links resolved against the wrong folder, the query, or glued onto absolute links.
TEST(UrlUtilTest, LinksResolveAgainstThePage)
{
    const QString page = "http://host.example/a/b/page.html";
    EXPECT_EQ(U::GetUrlA(page, "../img/x.jpg"), "http://host.example/a/img/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "/img/x.jpg"), "http://host.example/img/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "./x.jpg"), "http://host.example/a/b/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "x.jpg"), "http://host.example/a/b/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "sub"), "http://host.example/a/b/sub/");
    EXPECT_EQ(U::GetUrlA(page, "http://other.example/x.jpg"), "http://other.example/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "HTTP://other.example/x.jpg"), "HTTP://other.example/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "https://other.example/x.jpg"), "https://other.example/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "//cdn.example/x.jpg"), "http://cdn.example/x.jpg");
    EXPECT_EQ(U::GetUrlA("http://h.example/v.cgi?p=/q/r", "/x.jpg"), "http://h.example/x.jpg");
    EXPECT_EQ(U::GetUrlA("ftp://h.example/d/", "/x.jpg"), "Error/x.jpg");
}

// Catches an https URL that names other files than its http twin, loses its root or folder, or resolves a
// relative link to plain http; and scheme tests that let near-misses through.
TEST(UrlUtilTest, HttpsUrlsFollowTheHttpRules)
{
    for (const QString &rest : QStringList{"host.example/d/a.JPG", "u:pw@host.example/a.gif", "[::1]:8443/d/a.jpg",
                                           "host.example/cgi?a.jpg", "host.example/dir/"}) {
        EXPECT_EQ(U::SetFileName("/p", "https://" + rest), U::SetFileName("/p", "http://" + rest))
            << rest.toStdString();
        EXPECT_EQ(U::SetFileNameS("/p", "https://" + rest), U::SetFileNameS("/p", "http://" + rest))
            << rest.toStdString();
    }
    EXPECT_EQ(U::SetFileName("/p", "HTTPS://host.example/a.gif"), "/p/tmp/hhost_example_a.gif");

    EXPECT_EQ(U::ParseTrueURL("https://host.example"), "https://host.example/");
    EXPECT_EQ(U::ParseTrueURL("https://host.example/dir"), "https://host.example/dir/");
    EXPECT_EQ(U::ParseCuURL("https://host.example/a/page.html"), "https://host.example/a/");
    EXPECT_EQ(U::ParseCuURL("HTTPS://h.example?id=1"), "HTTPS://h.example/");

    const QString page = "https://host.example/a/b/page.html";
    EXPECT_EQ(U::GetUrlA(page, "/img/x.jpg"), "https://host.example/img/x.jpg");
    EXPECT_EQ(U::GetUrlA("https://host.example:8443", "/x.jpg"), "https://host.example:8443/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "../img/x.jpg"), "https://host.example/a/img/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "x.jpg"), "https://host.example/a/b/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "//cdn.example/x.jpg"), "https://cdn.example/x.jpg");
    EXPECT_EQ(U::GetUrlA(page, "http://other.example/x.jpg"), "http://other.example/x.jpg");

    EXPECT_EQ(U::WebSchemeLength("hTTp://x"), 7);
    EXPECT_EQ(U::WebSchemeLength("HTTPS://x"), 8);
    for (const char *notWeb : {"https:/x", "http:x", "httpx://x", "ftp://x", " http://x", "file://a.jpg", ""})
        EXPECT_FALSE(U::IsWebUrl(notWeb)) << notWeb;
}

// Catches off-by-one positions, which make page scans skip or repeat links.
TEST(UrlUtilTest, StrCutPositionsAndMisses)
{
    int next = 0;
    EXPECT_EQ(U::StrCut(QString("ab<x>cd"), "<", ">", 1, next), "x");
    EXPECT_EQ(next, 7);
    EXPECT_EQ(U::StrCut(QString("<a> <bb> <c>"), "<", ">", 5, next), "bb");
    EXPECT_EQ(next, 10);
    EXPECT_EQ(U::StrCut(QByteArray("ab<x>cd"), "<", ">", 1, next), "x");
    EXPECT_EQ(next, 7);
    const struct {
        QString text;
        int from;
    } misses[] = {{"ab<x", 1}, {"abx>", 1}, {"<x>", 4}, {"", 1}};
    for (const auto &m : misses) {
        EXPECT_EQ(U::StrCut(m.text, "<", ">", m.from, next), "");
        EXPECT_EQ(next, -1) << m.text.toStdString();
    }
    EXPECT_EQ(U::DelQuote("a\"b c\"d"), "b c");
    EXPECT_EQ(U::DelQuote("a\"b"), "");
    EXPECT_EQ(U::DelQuote("plain"), "plain");
}

TEST(UrlUtilTest, RepCharReplacesSingleCharactersOnly)
{
    EXPECT_EQ(U::RepChar("C:\\prog\\dir", "\\", "/"), "C:/prog/dir");
    EXPECT_EQ(U::RepChar("abab", "ab", "x"), "abab");
    EXPECT_EQ(U::RepChar("a-b-c", "-", ""), "abc");
}

// Catches 32-bit overflow of large totals and garbage read as a size.
TEST(UrlUtilTest, GetLengthReadsContentRangeTotal)
{
    EXPECT_EQ(U::GetLength("HTTP/1.1 206\r\nContent-Range: bytes 0-0/123456\r\n"), 123456);
    EXPECT_EQ(U::GetLength("CONTENT-RANGE: bytes 1-1/6442450944\r\n"), Q_INT64_C(6442450944));
    EXPECT_EQ(U::GetLength("Content-Length: 5\r\n"), 0);
    EXPECT_EQ(U::GetLength("Content-Range: bytes */*\r\n"), 0);
    EXPECT_EQ(U::GetLength("Content-Range: bytes 0-0/99999999999999999999\r\n"), 0);
}

TEST(UrlUtilTest, HttpMsgTexts)
{
    EXPECT_EQ(U::HttpMsg(404), QString::fromUtf8("見つかりません(404)"));
    EXPECT_EQ(U::HttpMsg(206), QString::fromUtf8("部分的なコンテンツ(206)"));
    EXPECT_EQ(U::HttpMsg(999), QString::fromUtf8("？？？(999)"));
}

TEST(UrlUtilTest, FileSize2OfRealMissingAndFolder)
{
    TTempFolder dir;
    EXPECT_EQ(U::FileSize2(dir.write("a.bin", QByteArray(70000, 'x'))), 70000);
    EXPECT_EQ(U::FileSize2(dir.file("missing.bin")), -1);
    EXPECT_EQ(U::FileSize2(dir.path()), -1);
}

// Catches exceptions escaping a rule, a wrong operation name, or a silent default.
TEST(UrlUtilTest, GuardReportsThroughHookAndDefaultsToStderr)
{
    QStringList reported;
    U::SetGuardReporter([&](const QString &operation) { reported << operation; });
    EXPECT_EQ(U::Guarded("GetUrlA", []() -> QString { throw std::runtime_error("x"); }), "");
    EXPECT_EQ(U::Guarded("FileSize2", []() -> qint64 { throw 1; }), 0);
    EXPECT_EQ(reported, QStringList({"GetUrlA", "FileSize2"}));

    U::SetGuardReporter({});
    testing::internal::CaptureStderr();
    U::Guarded("DoEvents", [] { throw std::bad_alloc(); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "except: DoEvents\n");
}
