#include "maker/HtmlImageSources.h"

#include <gtest/gtest.h>

using HtmlImageSources::BestCandidate;

namespace {
QByteArray Best(const char *srcset)
{
    return BestCandidate(QByteArrayView(srcset)).toByteArray();
}
} // namespace

// Catches the narrowest or the last candidate taken, a density compared as text ("10x" < "2x"),
// and a candidate without descriptors not counted as 1x.
TEST(HtmlImageSourcesTest, BestCandidateIsTheWidestElseTheDensest)
{
    EXPECT_EQ(Best("s.jpg 320w, l.jpg 1280w, m.jpg 640w"), "l.jpg");
    EXPECT_EQ(Best("a.jpg, b.jpg 2x, c.jpg 1.5x"), "b.jpg");
    EXPECT_EQ(Best("a.jpg 2x, b.jpg 10x"), "b.jpg");
    EXPECT_EQ(Best("a.jpg 0.5x, b.jpg"), "b.jpg");
    EXPECT_EQ(Best("a.jpg 2x, b.jpg 2x"), "a.jpg") << "the first of equals";
    EXPECT_EQ(Best("only.jpg"), "only.jpg");
    EXPECT_EQ(Best("x.jpg 3x, w.jpg 100w"), "w.jpg") << "a width beats any density";
    EXPECT_EQ(Best("a.jpg 640w 480h, b.jpg 320w"), "a.jpg");
}

// Catches a srcset cut at every comma (addresses with commas in them), descriptors read from a
// later candidate, and broken candidates taken instead of dropped.
TEST(HtmlImageSourcesTest, SrcsetIsSplitAsBrowsersSplitIt)
{
    EXPECT_EQ(Best("https://c.example/w_400,h_300/p.jpg 400w,https://c.example/w_800,h_600/p.jpg 800w"),
              "https://c.example/w_800,h_600/p.jpg");
    EXPECT_EQ(Best("\n  a.jpg 1x,\n  b.jpg 2x\n"), "b.jpg");
    EXPECT_EQ(Best("a.jpg,b.jpg 2x"), "a.jpg,b.jpg") << "no blank after the comma: one address";
    EXPECT_EQ(Best("a.jpg,, b.jpg 2x"), "b.jpg");
    EXPECT_EQ(Best("a.jpg (x, y) 2x, b.jpg 1x"), "b.jpg") << "a comma inside parentheses ends nothing";
    EXPECT_EQ(Best("big.jpg 0w, no.jpg 2x 3x, h.jpg 100h, neg.jpg -1x, odd.jpg 1q, fine.jpg 1x"), "fine.jpg");
    EXPECT_EQ(Best("a.jpg 1e1x, b.jpg .5x, c.jpg 2.x"), "a.jpg");
    EXPECT_EQ(Best(""), "");
    EXPECT_EQ(Best(" , ,, "), "");
    EXPECT_EQ(Best("a.jpg 99999999999999999999999w"), "a.jpg") << "a huge width is capped, not overflowed";
}

// Catches quotes kept in values, names read in one case only, a value running past its quote, and
// the sizes region placed at the wrong attribute.
TEST(HtmlImageSourcesTest, TagAttributesReadQuotedAndBareValues)
{
    const QByteArrayView tag("IMG Data-Src = \"a b.jpg\" data-original='c.jpg' srcset=d.jpg alt hidden/ x=\"open");
    EXPECT_EQ(HtmlImageSources::TagNameLength(tag), 3);
    const QList<HtmlImageSources::TAttribute> a = HtmlImageSources::TagAttributes(tag);
    ASSERT_EQ(a.size(), 6);
    EXPECT_EQ(a[0].name.toByteArray(), "Data-Src");
    EXPECT_EQ(a[0].value.toByteArray(), "a b.jpg");
    EXPECT_EQ(tag.sliced(a[0].nameEnd).first(3).toByteArray(), " = ");
    EXPECT_EQ(a[1].value.toByteArray(), "c.jpg");
    EXPECT_EQ(a[2].value.toByteArray(), "d.jpg");
    EXPECT_EQ(a[3].name.toByteArray(), "alt");
    EXPECT_TRUE(a[3].value.isEmpty());
    EXPECT_EQ(a[4].name.toByteArray(), "hidden");
    EXPECT_EQ(a[5].value.toByteArray(), "open");
    EXPECT_EQ(HtmlImageSources::TagNameLength("source/"), 6);
    EXPECT_TRUE(HtmlImageSources::TagAttributes("img").isEmpty());
}
