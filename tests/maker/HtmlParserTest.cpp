#include "maker/HtmlParser.h"

#include <QList>
#include <QPair>

#include <gtest/gtest.h>

namespace {

using TToken = QPair<int, QByteArray>;

QList<TToken> Tokens(const QByteArray &source)
{
    QList<TToken> tokens;
    TSimpleHTMLParser parser(source);
    for (; parser.Kind() != TSimpleHTMLParser::kindEnd; parser.Next())
        tokens.append({parser.Kind(), parser.TokenText()});
    parser.Next();
    EXPECT_EQ(parser.Kind(), TSimpleHTMLParser::kindEnd);
    return tokens;
}

constexpr int Text = TSimpleHTMLParser::kindText;
constexpr int Tag = TSimpleHTMLParser::kindTag;

} // namespace

// Leading blanks go, inner and trailing ones stay; a line break splits a run; tags keep their inside.
TEST(HtmlParserTest, TextRunsAndTags)
{
    EXPECT_EQ(Tokens("  one\r\n two<BR>three"),
              (QList<TToken>{{Text, "one"}, {Text, "two"}, {Tag, "BR"}, {Text, "three"}}));
    EXPECT_EQ(Tokens("\x83\x41 caption \t</a>"), (QList<TToken>{{Text, "\x83\x41 caption \t"}, {Tag, "/a"}}));
    EXPECT_EQ(Tokens("<img src=\"a b.gif\"><!-- note -->x"),
              (QList<TToken>{{Tag, "img src=\"a b.gif\""}, {Tag, "!-- note --"}, {Text, "x"}}));
}

// An empty source, an empty tag, a tag never closed, and a zero byte ending the source.
TEST(HtmlParserTest, EndsOfTheSource)
{
    EXPECT_TRUE(Tokens("").isEmpty());
    EXPECT_TRUE(Tokens(" \r\n\t").isEmpty());
    EXPECT_EQ(Tokens("<>"), (QList<TToken>{{Tag, ""}}));
    EXPECT_EQ(Tokens("a<b c"), (QList<TToken>{{Text, "a"}, {Tag, "b c"}}));
    EXPECT_EQ(Tokens(QByteArray("a<b\0>c", 6)), (QList<TToken>{{Text, "a"}, {Tag, "b"}}));
    EXPECT_EQ(Tokens(QByteArray("ab\0cd", 5)), (QList<TToken>{{Text, "ab"}}));
}

// Equal ignoring ASCII case, or beginning with the name exactly; text tokens are no tags.
TEST(HtmlParserTest, IsTagMatchesWholeNameOrExactPrefix)
{
    auto isTag = [](const QByteArray &source, const QByteArray &name) { return TSimpleHTMLParser(source).IsTag(name); };
    for (const char *yes : {"<br>", "<Br>", "<BR CLEAR=ALL>"})
        EXPECT_TRUE(isTag(yes, "BR")) << yes;
    EXPECT_FALSE(isTag("<br clear=all>", "BR"));
    for (const char *yes : {"<p>", "<P ALIGN=CENTER>", "<PRE>", "<PARAM>"})
        EXPECT_TRUE(isTag(yes, "P")) << yes;
    EXPECT_FALSE(isTag("</P>", "P"));
    EXPECT_FALSE(isTag("P", "P"));
    // Only ASCII letters fold: 0xC0 and 0xE0 are different Shift_JIS bytes.
    EXPECT_FALSE(isTag("<\xC0>", "\xE0"));
}
