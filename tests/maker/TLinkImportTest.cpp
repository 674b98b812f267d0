#include "maker/TLinkImport.h"

#include "core/TJobListModel.h"
#include "core/TSettings.h"
#include "core/jconvert.h"
#include "maker/TLinkTreeModel.h"
#include "maker/bmRegExp.h"

#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>

namespace {

class TLinkImportTest : public ::testing::Test
{
protected:
    void Scan(QByteArray page, const QString &url = QStringLiteral("http://h/dir/page.html"))
    {
        TLinkImport(jobs, tree, awk).ScanLinks(page, url, {}, settings);
    }
    QStringList Jobs() const
    {
        QStringList urls;
        for (int row = 0; row < jobs.RowCount(); ++row)
            urls.append(jobs.Cell(row, 0));
        return urls;
    }
    QStringList Nodes() const
    {
        QStringList urls;
        for (int row = 0; row < tree.rowCount(); ++row)
            urls.append(tree.Url(tree.index(row, 0)));
        return urls;
    }
    QByteArray CaptionOf(const QString &url) const
    {
        for (int row = 0; row < tree.rowCount(); ++row)
            if (tree.Url(tree.index(row, 0)) == url)
                return tree.Caption(tree.index(row, 0));
        return "(none)";
    }

    TJobListModel jobs;
    TLinkTreeModel tree;
    TAWKStr awk;
    TSettings settings;
};

} // namespace

// Files become jobs with absolute addresses, pages and held-back addresses become nodes with the
// anchor text as caption; the four attribute forms are read one after the other, not in page order.
TEST_F(TLinkImportTest, FilesBecomeJobsAndPagesBecomeNodesInAttributeOrder)
{
    Scan("<IMG SRC=\"/top.png\"><img src=\"i/a.png\"><A HREF=\"../Up.ZIP\">zip</A>\n"
         "<a href=\"img/p1.jpg\">pic</a> <a href=\"next.html\">Next page</a>\n"
         "<a href=\"x.htm\">one<br>two<p>three</a><a href=\"q.jpg?x=1\">q</a><a href=\"mailto:me@h\">m</a>"
         "<a href=\"#top\">t</a><a href=\"s.jpg#f\">f</a><a href=\"sub/\">s</a><a href=\"noext\">n</a>"
         "<a href=//cdn.example/c.jpg>cdn</a><a href=\"late.html\">late</A>!</a>");
    EXPECT_EQ(Jobs(), QStringList({"http://h/dir/img/p1.jpg", "http://cdn.example/c.jpg", "http://h/Up.ZIP",
                                   "http://h/dir/i/a.png", "http://h/top.png"}));
    EXPECT_EQ(Nodes(), QStringList({"http://h/dir/next.html", "http://h/dir/x.htm", "http://h/dir/q.jpg?x=1",
                                    "http://h/dir/mailto:me@h/", "http://h/dir/#top/", "http://h/dir/s.jpg#f",
                                    "http://h/dir/sub/", "http://h/dir/noext/", "http://h/dir/late.html"}));
    EXPECT_EQ(CaptionOf("http://h/dir/next.html"), " Next page");
    EXPECT_EQ(CaptionOf("http://h/dir/x.htm"), " one\r\n two\r\n\r\n three");
    EXPECT_EQ(CaptionOf("http://h/dir/late.html"), " late !") << "an href anchor ends only at \"</a>\"";
}

// Catches relative links on an https page resolved to plain http, and absolute https links changed.
TEST_F(TLinkImportTest, HttpsPageLinksStayHttps)
{
    Scan("<a href=\"/top.jpg\">a</a><a href=\"../up.jpg\">b</a><a href=\"p.jpg\">c</a>"
         "<a href=//cdn.example/c.jpg>d</a><a href=\"https://o.example/o.jpg\">e</a>"
         "<a href=\"http://o.example/plain.jpg\">f</a><a href=\"next.html\">g</a>",
         "https://h:8443/dir/page.html");
    EXPECT_EQ(Jobs(),
              QStringList({"https://h:8443/top.jpg", "https://h:8443/up.jpg", "https://h:8443/dir/p.jpg",
                           "https://cdn.example/c.jpg", "https://o.example/o.jpg", "http://o.example/plain.jpg"}));
    EXPECT_EQ(Nodes(), QStringList{"https://h:8443/dir/next.html"});
}

// Gif and SNSize let GIFs and declared thumbnails through; sizes count only after the link
// attribute, both must be given and one at most 500; SRC 0 reads no image address at all.
TEST_F(TLinkImportTest, FiltersForGifsThumbnailsAndSrc)
{
    const QByteArray page =
        "<img src=\"g.gif\"><img src=\"s.jpg\" width=100 height=\"80\">"
        "<img width=100 height=80 src=\"before.jpg\"><img src=\"big.jpg\" width=\"600\" height=\"600\">"
        "<img src=\"wide.jpg\" width=600><img src=\"mix.jpg\" WIDTH = \"800\" Height=500>"
        "<img src=\"q.jpg\" width='100' height='80'>";
    Scan(page);
    EXPECT_EQ(Jobs(), QStringList({"http://h/dir/before.jpg", "http://h/dir/big.jpg", "http://h/dir/wide.jpg",
                                   "http://h/dir/q.jpg"}));
    EXPECT_EQ(Nodes(), QStringList({"http://h/dir/g.gif", "http://h/dir/s.jpg", "http://h/dir/mix.jpg"}));
    EXPECT_EQ(CaptionOf("http://h/dir/g.gif"), QByteArray("\x81\x83\x89\xe6\x91\x9c\x81\x84"));

    tree.Clear();
    jobs.Clear();
    settings.Gif = 1;
    settings.SNSize = 1;
    Scan(page);
    EXPECT_EQ(jobs.RowCount(), 7);
    EXPECT_EQ(tree.rowCount(), 0);

    jobs.Clear();
    settings.SRC = 0;
    Scan(page + "<a href=\"a.jpg\">a</a>");
    EXPECT_EQ(Jobs(), QStringList({"http://h/dir/a.jpg"}));
}

// A detected EUC-JP page shows its anchor texts in Shift_JIS; a page that may be either is left as it is.
TEST_F(TLinkImportTest, PageIsReadInShiftJis)
{
    const QString text = QStringLiteral("日本語のページへ移動します");
    QStringEncoder euc("EUC-JP"), sjis("Shift_JIS");
    const QByteArray eucPage = "<a href=\"j.html\">" + QByteArray(euc.encode(text)) + "</a>";
    ASSERT_EQ(jconvert::DetectCode(eucPage), jconvert::jcEuc);
    Scan(eucPage);
    EXPECT_EQ(CaptionOf("http://h/dir/j.html"), " " + QByteArray(sjis.encode(text)));

    const QByteArray either = "<a href=\"e.html\">\xe0\xa1\xe0\xa2</a>";
    ASSERT_EQ(jconvert::DetectCode(either), jconvert::jcEucOrSjis);
    Scan(either);
    EXPECT_EQ(CaptionOf("http://h/dir/e.html"), " \xe0\xa1\xe0\xa2");
}

// Hostile pages end without a crash and lose no link: a name with no ">" after it or directly before
// one ends that form's scan, a tag of a megabyte is one link, and 200,000 anchors left open with NULs
// and high bytes between them all arrive.
TEST_F(TLinkImportTest, HostilePagesFinishAndKeepEveryLink)
{
    Scan("<a href>x</a><a href=\"lost.jpg\">x</a><a HREF=\"kept.jpg\"><img src=\"open.jpg\" width=1");
    EXPECT_EQ(Jobs(), QStringList({"http://h/dir/kept.jpg"}));

    jobs.Clear();
    Scan("<a href=\"big.jpg\" title=\"" + QByteArray(1 << 20, '\xfe') + "\">" + QByteArray(1 << 20, 'x') + "</a>");
    EXPECT_EQ(Jobs(), QStringList({"http://h/dir/big.jpg"}));

    jobs.Clear();
    QByteArray flood;
    constexpr int links = 200000;
    for (int i = 0; i < links; ++i)
        flood += "<a href=" + QByteArray::number(i) + (i % 2 ? ".htm" : ".png") + ">\x81\0\xff"_qba;
    flood += "</a>";
    Scan(flood);
    EXPECT_EQ(jobs.RowCount() + tree.NodeCount(), links);
}

namespace {
QByteArray LazyGallery()
{
    QFile file(QStringLiteral(PELMOR_TEST_DATA "/lazy_gallery.html"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

// With LazyImages the real address of a lazily loaded image and the widest of a srcset become jobs
// beside the placeholders in src, through the same filters; an address a tag gives twice is
// offered once, and "src" inside data-src or srcset is no longer read as a src of its own.
TEST_F(TLinkImportTest, LazyImagesReadDataSrcAndTheWidestSrcset)
{
    const QByteArray page = LazyGallery();
    ASSERT_FALSE(page.isEmpty());
    settings.LazyImages = 1;
    QStringList offered;
    TLinkImport import(jobs, tree, awk);
    import.OnLink = [&](const QString &url, bool) { offered.append(url);
};
QByteArray text = page;
import.ScanLinks(text, QStringLiteral("http://h/dir/page.html"), {}, settings);
EXPECT_EQ(Jobs(),
          QStringList({"http://h/css/site.css", "http://h/dir/archive/set.zip", "http://h/dir/img/same.jpg",
                       "http://h/dir/img/photo4-320.jpg", "http://h/dir/img/photo7.jpg", "http://h/dir/img/photo1.jpg",
                       "http://h/dir/img/photo2.jpg", "http://h/dir/img/photo4-1280.jpg",
                       "http://h/dir/img/photo5@2x.jpg", "https://cdn.example/i/w_1600,h_1200/photo6.jpg",
                       "http://h/dir/img/photo7@2x.webp", "http://h/dir/img/photo7@2x.jpg"}));
EXPECT_EQ(Nodes(), QStringList({"http://h/dir/page2.html", "http://h/dir/img/blank.gif", "http://h/dir/img/thumb3.jpg",
                                "http://h/cgi/image?id=8"}))
    << "a GIF, a declared thumbnail and an address with \"?\" are held back as from src";
EXPECT_EQ(offered.count("http://h/dir/img/same.jpg"), 1);

// Without SRC no image address is read, lazy or not.
jobs.Clear();
tree.Clear();
settings.SRC = 0;
Scan(page);
EXPECT_EQ(Jobs(), QStringList({"http://h/css/site.css", "http://h/dir/archive/set.zip"}));
}

// LazyImages 0 is the scan as it always was: the first "src" of a tag is read, wherever it sits in
// a longer name (a whole srcset becomes one address), and the rest of the tag is passed over.
TEST_F(TLinkImportTest, WithoutLazyImagesTheScanIsUnchanged)
{
    Scan(
        "<img data-src=\"a.jpg\" src=\"p.gif\"><img srcset=\"s.jpg 1x, l.jpg 2x\"><img src=\"b.jpg\" data-src=\"c.jpg\">");
    EXPECT_EQ(Jobs(), QStringList({"http://h/dir/a.jpg", "http://h/dir/s.jpg 1x, l.jpg 2x", "http://h/dir/b.jpg"}));
    EXPECT_EQ(tree.NodeCount(), 0);
}
